// A program started from a terminal has its streams already; nothing to join.
#include "app/console.h"

namespace app {

void UseCompanionConsole() {}

ForwardedStreams StreamsForwardedToConsole() { return {}; }

}  // namespace app
