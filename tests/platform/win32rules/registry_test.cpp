#include "platform/win32rules/registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace plat::win32rules {
namespace {

TEST(StoreRegData, sizes_follow_win32) {
  const std::vector<std::uint8_t> bytes{'a', 'b', 0};
  struct Row {
    bool withData;
    bool withSize;
    DWORD size;  // in
    LONG result;
    DWORD sizeOut;
    bool copied;
  } rows[] = {
      {false, true, 0, ERROR_SUCCESS, 3, false},           // asks for the size
      {false, false, 0, ERROR_SUCCESS, 0, false},          // asks for the type only
      {true, false, 0, ERROR_INVALID_PARAMETER, 0, false},  // data without a size
      {true, true, 2, ERROR_MORE_DATA, 3, false},          // too small: the size needed
      {true, true, 3, ERROR_SUCCESS, 3, true},
      {true, true, 8, ERROR_SUCCESS, 3, true},
  };
  for (const Row& row : rows) {
    BYTE data[8] = {0x55, 0x55, 0x55};
    DWORD size = row.size;
    DWORD type = 0;
    const LONG result = StoreRegData(REG_SZ, bytes, &type, row.withData ? data : nullptr,
                                     row.withSize ? &size : nullptr);
    SCOPED_TRACE(testing::Message() << row.withData << row.withSize << " " << row.size);
    EXPECT_EQ(result, row.result);
    if (row.withSize) {
      EXPECT_EQ(size, row.sizeOut);
    }
    EXPECT_EQ(data[0], row.copied ? 'a' : 0x55);
    if (result != static_cast<LONG>(ERROR_INVALID_PARAMETER)) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    }
  }
}

TEST(StoreRegName, the_buffer_holds_the_nul_and_the_length_excludes_it) {
  char name[4] = {'x', 'x', 'x', 'x'};
  DWORD length = 4;
  EXPECT_EQ(StoreRegName("ABCD", name, &length), static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(name[0], 'x');
  EXPECT_EQ(StoreRegName("ABC", name, &length), static_cast<LONG>(ERROR_SUCCESS));
  EXPECT_STREQ(name, "ABC");
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(StoreRegName("A", nullptr, &length), static_cast<LONG>(ERROR_INVALID_PARAMETER));
}

TEST(SubkeyPosition, keeps_siblings_in_case_insensitive_name_order) {
  std::vector<std::string> keys;
  for (const char* name : {"zeta", "Alpha", "beta", "ALPHA2", "_x"}) {
    keys.insert(SubkeyPosition(keys, name, [](const std::string& k) { return k; }), name);
  }
  // '_' sorts after the letters once they are folded to upper case.
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "zeta", "_x"}));
  EXPECT_TRUE(EqualsNoCase("SerialComm", "SERIALCOMM"));
  EXPECT_FALSE(EqualsNoCase("SerialCom", "SERIALCOMM"));
}

}  // namespace
}  // namespace plat::win32rules
