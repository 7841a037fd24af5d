#include "platform/errortext.h"

namespace plat {

std::string Win32ErrorText(DWORD code) {
  switch (code) {
    case 0: return "The operation completed successfully.";
    case 2: return "The system cannot find the file specified.";
    case 3: return "The system cannot find the path specified.";
    case 5: return "Access is denied.";
    case 6: return "The handle is invalid.";
    case 8: return "Not enough memory resources are available to process this command.";
    case 31: return "A device attached to the system is not functioning.";
    case 50: return "The request is not supported.";
    case 87: return "The parameter is incorrect.";
    case 122: return "The data area passed to a system call is too small.";
    case 234: return "More data is available.";
    case 259: return "No more data is available.";
    case 995: return "The I/O operation has been aborted because of either a thread exit or an application request.";
    case 996: return "Overlapped I/O event is not in a signaled state.";
    case 997: return "Overlapped I/O operation is in progress.";
    case 1167: return "The device is not connected.";
    case 1223: return "The operation was canceled by the user.";
    case 1629: return "Data of this type is not supported.";
    default: return "System error " + std::to_string(code) + ".";
  }
}

}  // namespace plat
