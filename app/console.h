// The standard streams of the window program when a command prompt started it.
//
// On Windows lcdwrite.exe is a window program: the system gives it no console, so whatever it
// prints is lost and a command prompt neither waits for it nor sees its exit status. The console
// program lcdwrite.com beside it (app/win32/companion.cpp), which cmd.exe and PowerShell find
// first, starts lcdwrite.exe, waits for it and passes its exit status on. Elsewhere a program
// always has the streams it was started with, and this does nothing.
#pragma once

namespace app {

// Called first thing in main. When lcdwrite.com started this process, it joins that console and
// points standard output and error at it, unless they were redirected to a file or pipe (which
// the process then keeps).
void UseCompanionConsole();

// Which standard streams lcdwrite.com passes on to its console (text for a terminal: UTF-8);
// none without it.
struct ForwardedStreams {
  bool output = false;
  bool error = false;
};
ForwardedStreams StreamsForwardedToConsole();

}  // namespace app
