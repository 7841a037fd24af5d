#include "platform/posix/registry_sysfs.h"

namespace plat::posix {

std::unique_ptr<RegKey> BuildPortRegistry(const std::vector<PortView>& ports) {
  auto root = std::make_unique<RegKey>();
  RegKey& serialComm = root->Path(kSerialCommPath);
  RegKey& enumRoot = root->Path(kEnumPath);
  for (const PortView& port : ports) {
    serialComm.SetString("\\Device\\" + port.portName, port.portName);

    RegKey& instance = enumRoot.Child(port.enumerator).Child(port.device).Child(port.instance);
    instance.SetString("ClassGUID", kPortsClassGuid);
    instance.SetString("FriendlyName", port.friendlyName);
    if (!port.product.empty()) instance.SetString("DeviceDesc", port.product);
    if (!port.manufacturer.empty()) instance.SetString("Mfg", port.manufacturer);
    instance.Child("Device Parameters").SetString("PortName", port.portName);
  }
  return root;
}

}  // namespace plat::posix
