#include "ui/frontends.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ui/console/console_frontend.h"

// The display rule is the POSIX one (on Windows a window can always be shown).
#ifndef _WIN32
namespace ui {
namespace {

// Clears the display variables for one test and puts them back afterwards.
class NoDisplay {
 public:
  NoDisplay() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~NoDisplay() {
    for (size_t k = 0; k < saved_.size(); ++k) {
      if (saved_[k]) setenv(kNames[k], saved_[k]->c_str(), 1);
    }
  }

 private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::vector<std::optional<std::string>> saved_;
};

TEST(FrontEnds, without_a_display_or_when_asked_the_console_is_chosen) {
  NoDisplay noDisplay;
  EXPECT_FALSE(DisplayAvailable());
  int argc = 1;
  char name[] = "lcdwrite";
  char* argv[] = {name, nullptr};
  for (FrontEndKind kind : {FrontEndKind::Window, FrontEndKind::Console}) {
    std::unique_ptr<fw::FrontEnd> fe = CreateFrontEnd(kind, argc, argv);
    EXPECT_NE(dynamic_cast<ConsoleFrontEnd*>(fe.get()), nullptr);
    EXPECT_FALSE(fe->CanWaitForUser());
  }
}

TEST(FrontEnds, any_display_variable_counts) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    NoDisplay noDisplay;
    setenv(name, "x", 1);
    EXPECT_TRUE(DisplayAvailable()) << name;
    unsetenv(name);
  }
}

}  // namespace
}  // namespace ui
#endif  // _WIN32
