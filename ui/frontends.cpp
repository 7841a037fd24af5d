#include "ui/frontends.h"

#include <cstdlib>

#include "ui/console/console_frontend.h"

#ifdef LCDWRITE_HAVE_QT
#include "ui/qt/qt_frontend.h"
#endif

namespace ui {

namespace {

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

#ifdef LCDWRITE_HAVE_QT
std::unique_ptr<fw::FrontEnd> CreateWindowFrontEnd(int& argc, char** argv) {
  return CreateQtFrontEnd(argc, argv);
}
#else
std::unique_ptr<fw::FrontEnd> CreateWindowFrontEnd(int&, char**) { return nullptr; }
#endif

}  // namespace

bool HasWindowFrontEnd() {
#ifdef LCDWRITE_HAVE_QT
  return true;
#else
  return false;
#endif
}

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
    if (std::unique_ptr<fw::FrontEnd> window = CreateWindowFrontEnd(argc, argv)) return window;
  }
  return std::make_unique<ConsoleFrontEnd>();
}

}  // namespace ui
