// Choosing the front-end at start-up: a window when one can be shown, else the console.
//
// No toolkit header is included here, so the program entry stays toolkit-neutral.
#pragma once

#include <memory>
#include <string>

#include "framework/frontend.h"

namespace ui {

enum class FrontEndKind {
  Window,   // a window when a display is available, else the console
  Console,  // always the console
  JsonLines,  // the console as JSON lines (ConsoleFrontEnd::SetJsonLines)
};

// True when a window can be shown: on Windows always; elsewhere when DISPLAY, WAYLAND_DISPLAY
// or QT_QPA_PLATFORM is set in the environment.
bool DisplayAvailable();

// Creates the front-end: the window front-end when wanted, built in and a display is available,
// otherwise the console one (standard output). argc/argv go to the toolkit, which may take its
// own options out of them. Never null. When a display is named but the window front-end
// cannot open it (a display that does not answer, a toolkit platform that does not exist),
// the console is chosen too, and unusableDisplay (when given) receives the variables that
// named it ("DISPLAY=:99").
std::unique_ptr<fw::FrontEnd> CreateFrontEnd(FrontEndKind wanted, int& argc, char** argv,
                                             std::string* unusableDisplay = nullptr);

// Whether this build has a window front-end at all.
bool HasWindowFrontEnd();

}  // namespace ui
