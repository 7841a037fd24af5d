// The Qt 6 Widgets front-end, as the program entry sees it: a factory, no Qt types.
#pragma once

#include <memory>

#include "framework/frontend.h"
#include "platform/platform.h"

namespace ui {

// Creates the Qt front-end. When no QApplication exists yet it creates one from argc/argv
// (both must outlive the front-end), with Qt's own high-DPI scaling switched off unless the
// environment sets QT_ENABLE_HIGHDPI_SCALING: forms scale themselves by the screen's pixels
// per inch, so sizes given to Qt are device pixels. Waiting for events follows the platform's
// clock where it is virtual (a simulated machine) and Qt's event loop otherwise.
std::unique_ptr<fw::FrontEnd> CreateQtFrontEnd(int& argc, char** argv,
                                               plat::Platform& platform = plat::CurrentPlatform());

}  // namespace ui
