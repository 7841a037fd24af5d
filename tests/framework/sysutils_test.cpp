#include "framework/sysutils.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Format, TextIsSizedForTheResultNeverCut) {
  const std::string folder(5000, 'x');
  const std::string text = fw::Format("Im Ordner %s ist %s ein Ordner.", folder, "Quorix.lcd");
  EXPECT_EQ(text, "Im Ordner " + folder + " ist Quorix.lcd ein Ordner.");
}

TEST(Format, NumbersStringsAndPointersMix) {
  const struct {
    std::string got;
    const char* want;
  } rows[] = {
      {fw::Format("%d/%u/%ld", -3, 7u, 123456789L), "-3/7/123456789"},
      {fw::Format("<%02X>", 0x0A), "<0A>"},
      {fw::Format("%s=%s", std::string("a"), "b"), "a=b"},
      {fw::Format("plain"), "plain"},
      {fw::Format("%s", std::string()), ""},
  };
  for (const auto& row : rows) EXPECT_EQ(row.got, row.want);
}

}  // namespace
