#include "ui/frontends.h"

#include <cstdlib>

#include "ui/console/console_frontend.h"

#ifdef LCDWRITE_HAVE_QT
#include "ui/qt/qt_frontend.h"
#endif
#ifdef LCDWRITE_HAVE_WIN32
#include "ui/win32/win32_frontend.h"
#endif

namespace ui {

namespace {

#ifndef _WIN32
bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}
#endif

#ifdef LCDWRITE_HAVE_QT
std::unique_ptr<fw::FrontEnd> CreateQt(int& argc, char** argv) {
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

void SetWindowFrontEndFactory(WindowFrontEndFactory factory) { g_windowFactory = factory; }

bool HasWindowFrontEnd() { return g_windowFactory != nullptr; }

bool DisplayAvailable() {
#ifdef _WIN32
  return true;
#else
  return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY") ||
         EnvironmentSet("QT_QPA_PLATFORM");
#endif
}

std::unique_ptr<fw::FrontEnd> CreateFrontEnd(FrontEndKind wanted, int& argc, char** argv) {
  if (wanted == FrontEndKind::Window && DisplayAvailable()) {
    if (g_windowFactory != nullptr) {
      if (std::unique_ptr<fw::FrontEnd> window = g_windowFactory(argc, argv)) return window;
    }
  }
  return std::make_unique<ConsoleFrontEnd>();
}

}  // namespace ui
