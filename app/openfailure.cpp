#include "app/openfailure.h"

#include "app/texts.h"
#include "framework/sysutils.h"

namespace app {

namespace {

using Cause = plat::OpenFailure::Cause;

// Services that take serial ports for themselves (the platform names them as they run).
constexpr const char* kModemManager = "ModemManager";
constexpr const char* kServices[] = {kModemManager, "brltty"};

bool IsService(const std::string& program) {
  for (const char* service : kServices) {
    if (program == service) return true;
  }
  return false;
}

std::string Held(const plat::OpenFailure& failure) {
  const char* path = failure.path.c_str();
  if (failure.holders.empty()) {
    std::string text = fw::Format(texts::kOpenHeldUnknown, path) + "\n" +
                       fw::Format(texts::kOpenHeldUnknownRemedy, path);
    std::string suspects;
    for (const std::string& suspect : failure.suspects) {
      suspects += (suspects.empty() ? "" : ", ") + suspect;
    }
    if (!suspects.empty()) text += "\n" + fw::Format(texts::kOpenSuspects, suspects.c_str());
    return text;
  }
  std::string holders;
  std::string service;
  for (const plat::OpenFailure::Holder& holder : failure.holders) {
    holders += (holders.empty() ? "" : ", ") + fw::Format(texts::kOpenHolder, holder.program.c_str(), holder.pid);
    if (service.empty() && IsService(holder.program)) service = holder.program;
  }
  std::string text = fw::Format(texts::kOpenHeldBy, path, holders.c_str()) + "\n";
  if (service.empty()) return text + texts::kOpenHeldByRemedy;
  text += fw::Format(texts::kOpenHeldByServiceRemedy, service.c_str());
  if (service == kModemManager) text += std::string("\n") + texts::kOpenModemManagerRule;
  return text;
}

std::string NotSerial(const plat::OpenFailure& failure) {
  const char* path = failure.path.c_str();
  std::string text;
  switch (failure.terminal) {
    case plat::OpenFailure::Terminal::None:
      text = fw::Format(texts::kOpenNotSerial, path);
      break;
    case plat::OpenFailure::Terminal::Own:
      text = fw::Format(texts::kOpenOwnTerminal, path);
      break;
    case plat::OpenFailure::Terminal::Console:
      text = fw::Format(texts::kOpenConsole, path);
      break;
    case plat::OpenFailure::Terminal::OtherSession:
      text = fw::Format(texts::kOpenOtherTerminal, path, failure.session.program.c_str(),
                    failure.session.pid);
      break;
  }
  return text + "\n" + texts::kOpenNotSerialRemedy;
}

}  // namespace

std::string ExplainOpenFailure(DWORD code, const plat::OpenFailure& failure) {
  const Cause cause = failure.code == code ? failure.cause : Cause::Unknown;
  const char* path = failure.path.c_str();
  const char* user = failure.user.c_str();
  const char* group = failure.group.c_str();
  switch (cause) {
    case Cause::NotInGroup:
      return fw::Format(texts::kOpenNotInGroup, path, user, group) + "\n" +
             fw::Format(texts::kOpenNotInGroupRemedy, group, user);
    case Cause::GroupNotActive:
      return fw::Format(texts::kOpenGroupNotActive, path, user, group) + "\n" +
             texts::kOpenGroupNotActiveRemedy;
    case Cause::NoAccess:
      return fw::Format(texts::kOpenNoAccess, path, failure.owner.c_str(), group, failure.mode.c_str()) +
             "\n" + fw::Format(texts::kOpenNoAccessRemedy, path);
    case Cause::Held:
      return Held(failure);
    case Cause::Gone:
      return fw::Format(texts::kOpenGone, path) + "\n" + texts::kOpenGoneRemedy;
    case Cause::NotSerialPort:
      return NotSerial(failure);
    case Cause::Unknown:
      break;
  }
  switch (code) {
    case ERROR_ACCESS_DENIED:
      return std::string(texts::kOpenAccessDenied) + "\n" + texts::kOpenAccessDeniedRemedy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::string(texts::kOpenNotFound) + "\n" + texts::kOpenGoneRemedy;
    default:
      return "";
  }
}

}  // namespace app
