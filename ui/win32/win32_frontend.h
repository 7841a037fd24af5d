// The native Windows front-end, as the program entry sees it: a factory and no window types.
#pragma once

#include <memory>

#include "framework/frontend.h"
#include "platform/platform.h"

namespace ui {

// Creates the native front-end (system controls, MessageBoxW dialogs, the thread's message
// queue as event pump). The process is made aware of the screen's real pixels per inch, as
// the forms scale themselves. Waiting for events follows the platform's clock where it is
// virtual (a simulated machine) and the message queue otherwise.
std::unique_ptr<fw::FrontEnd> CreateWin32FrontEnd(
    plat::Platform& platform = plat::CurrentPlatform());

}  // namespace ui
