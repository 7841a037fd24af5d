// The rules of hosttext.h that are the same on every system.
#include "platform/hosttext.h"

namespace plat {

unsigned ChooseStreamCodePage(StreamTarget target, bool windows, unsigned consoleCodePage,
                              unsigned oemCodePage) {
  if (!windows || target == StreamTarget::Terminal || target == StreamTarget::Nothing) {
    return kCodePageUtf8;
  }
  if (consoleCodePage != 0) return consoleCodePage;
  return oemCodePage != 0 ? oemCodePage : kCodePageUtf8;
}

}  // namespace plat
