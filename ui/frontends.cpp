#include "ui/frontends.h"

#include <cstdlib>

#include "ui/console/console_frontend.h"

#ifdef LCDWRITE_HAVE_QT
#include "ui/qt/qt_display.h"
#include "ui/qt/qt_frontend.h"
#endif
#ifdef LCDWRITE_HAVE_WIN32
#include "ui/win32/win32_frontend.h"
#endif

namespace ui {

namespace {

// The window front-end's maker: Qt's when it is built in, else the native controls' on
// Windows; null: console only. A maker returns null when it cannot open the display.
using WindowFrontEndFactory = std::unique_ptr<fw::FrontEnd> (*)(int& argc, char** argv);

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// The display variables that are set, as "NAME=value" joined by blanks.
std::string DisplayDescription() {
  std::string description;
  for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
    if (!EnvironmentSet(name)) continue;
    if (!description.empty()) description += ' ';
    description += std::string(name) + "=" + std::getenv(name);
  }
  return description;
}

#ifdef LCDWRITE_HAVE_QT
std::unique_ptr<fw::FrontEnd> CreateQt(int& argc, char** argv) {
  // Qt ends the process when it cannot open its display: find out first, in a child.
  if (!QtDisplayUsable(argc, argv)) return nullptr;
  return CreateQtFrontEnd(argc, argv);
}
WindowFrontEndFactory g_windowFactory = &CreateQt;
#elif defined(LCDWRITE_HAVE_WIN32)
std::unique_ptr<fw::FrontEnd> CreateWin32(int&, char**) { return CreateWin32FrontEnd(); }
WindowFrontEndFactory g_windowFactory = &CreateWin32;
#else
WindowFrontEndFactory g_windowFactory = nullptr;
#endif

}  // namespace

bool HasWindowFrontEnd() { return g_windowFactory != nullptr; }

bool DisplayAvailable() {
#ifdef _WIN32
  return true;
#else
  return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY") ||
         EnvironmentSet("QT_QPA_PLATFORM");
#endif
}

std::unique_ptr<fw::FrontEnd> CreateFrontEnd(FrontEndKind wanted, int& argc, char** argv,
                                             std::string* unusableDisplay) {
  if (wanted == FrontEndKind::Window && DisplayAvailable() && g_windowFactory != nullptr) {
    if (std::unique_ptr<fw::FrontEnd> window = g_windowFactory(argc, argv)) return window;
    if (unusableDisplay != nullptr) *unusableDisplay = DisplayDescription();
  }
  auto console = std::make_unique<ConsoleFrontEnd>();
  if (wanted == FrontEndKind::JsonLines) console->SetJsonLines();
  return console;
}

}  // namespace ui
