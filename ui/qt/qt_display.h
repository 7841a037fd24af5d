// Whether Qt can open its display, asked before the front-end is made.
//
// When Qt cannot load its platform plugin or the display does not answer, it prints a message
// and aborts the process instead of reporting back. So the first try happens in a child
// process, with its output discarded: the child starts Qt's GUI part and tells the parent it
// got through. A child that dies, stays silent or takes longer than a few seconds (a display
// host that does not answer) means "no display here".
#pragma once

namespace ui {

// True when Qt can open the display that the environment names (also when a QApplication
// exists already). argc/argv are what Qt would be started with.
bool QtDisplayUsable(int argc, char** argv);

}  // namespace ui
