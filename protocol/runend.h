// Why the board protocol ends a run before it is done. The protocol knows no exit statuses:
// the tool gives each reason its status (app/exitstatus.h).
#pragma once

namespace protocol {

enum class RunEnd {
  kBoardFailed,    // an operation or the reset handshake failed
  kNothingLoaded,  // no configuration was loaded: nothing to send
};

}  // namespace protocol
