// Lowering the converter's latency timer on Windows' own registry (under Wine in the test job):
// the key is made here as the FTDI driver makes it, the request runs through the serial API.
#include <windows.h>
#include <aclapi.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

using Outcome = plat::LatencyStep::Outcome;

constexpr char kInstance[] =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+LCDWTESTA";
const std::string kParameters = std::string(kInstance) + "\\0000\\Device Parameters";

class WindowsRegistryLatency : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kInstance);
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameters.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    // Whatever a test did to the key's access, everyone may change and delete it again.
    if (key_ != nullptr) {
      SetAccess(KEY_ALL_ACCESS);
      ::RegCloseKey(key_);
    }
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kInstance);
  }
  void SetDword(DWORD value) {
    ASSERT_EQ(::RegSetValueExA(key_, "LatencyTimer", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
  }
  // Gives everyone exactly this access to the key (through the handle, which may change it).
  DWORD SetAccess(DWORD permissions) {
    EXPLICIT_ACCESS_A access{};
    access.grfAccessPermissions = permissions;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = const_cast<char*>("EVERYONE");
    PACL acl = nullptr;
    DWORD result = ::SetEntriesInAclA(1, &access, nullptr, &acl);
    if (result != ERROR_SUCCESS) return result;
    result = ::SetSecurityInfo(key_, SE_REGISTRY_KEY,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, acl, nullptr);
    ::LocalFree(acl);
    return result;
  }
  std::optional<DWORD> Latency() {
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegQueryValueExA(key_, "LatencyTimer", nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
      return std::nullopt;
    }
    return value;
  }
  plat::LatencyStep Step() {
    return plat::NativePlatform().serial().RequestLowLatency(kParameters);
  }

  HKEY key_ = nullptr;
};

TEST_F(WindowsRegistryLatency, the_default_16_is_read_and_lowered_to_1) {
  SetDword(16);
  const plat::LatencyStep result = Step();
  EXPECT_EQ(result.outcome, Outcome::kLowered);
  EXPECT_EQ(result.found, 16u);
  EXPECT_EQ(Latency(), 1u);
}

TEST_F(WindowsRegistryLatency, one_is_only_read) {
  SetDword(1);
  const plat::LatencyStep result = Step();
  EXPECT_EQ(result.outcome, Outcome::kLow);
  EXPECT_EQ(result.found, 1u);
  EXPECT_EQ(Latency(), 1u);
}

TEST_F(WindowsRegistryLatency, no_value_is_left_alone) {
  EXPECT_EQ(Step().outcome, Outcome::kAbsent);
  EXPECT_EQ(Latency(), std::nullopt);
}

TEST_F(WindowsRegistryLatency, a_key_nobody_may_write_keeps_its_value) {
  SetDword(16);
  // Everyone may read the key, nobody may set its values (as for a program without
  // administrator rights).
  ASSERT_EQ(SetAccess(KEY_READ), static_cast<DWORD>(ERROR_SUCCESS));
  const plat::LatencyStep result = Step();
  EXPECT_EQ(result.outcome, Outcome::kNotWritable);
  EXPECT_EQ(result.error, static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Latency(), 16u);
}

}  // namespace
