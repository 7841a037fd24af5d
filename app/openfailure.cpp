#include "app/openfailure.h"

#include <cstdio>

#include "app/texts.h"

namespace app {

namespace {

using Cause = plat::OpenFailure::Cause;

// Services that take serial ports for themselves (the platform names them as they run).
constexpr const char* kModemManager = "ModemManager";
constexpr const char* kServices[] = {kModemManager, "brltty"};

template <class... Args>
std::string Format(const char* format, const Args&... args) {
  const int size = std::snprintf(nullptr, 0, format, args...);
  if (size <= 0) return "";
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  return text;
}

bool IsService(const std::string& program) {
  for (const char* service : kServices) {
    if (program == service) return true;
  }
  return false;
}

std::string Held(const plat::OpenFailure& failure) {
  const char* path = failure.path.c_str();
  if (failure.holders.empty()) {
    std::string text = Format(texts::kOpenHeldUnknown, path) + "\n" +
                       Format(texts::kOpenHeldUnknownRemedy, path);
    std::string suspects;
    for (const std::string& suspect : failure.suspects) {
      suspects += (suspects.empty() ? "" : ", ") + suspect;
    }
    if (!suspects.empty()) text += "\n" + Format(texts::kOpenSuspects, suspects.c_str());
    return text;
  }
  std::string holders;
  std::string service;
  for (const plat::OpenFailure::Holder& holder : failure.holders) {
    holders += (holders.empty() ? "" : ", ") + Format(texts::kOpenHolder, holder.program.c_str(), holder.pid);
    if (service.empty() && IsService(holder.program)) service = holder.program;
  }
  std::string text = Format(texts::kOpenHeldBy, path, holders.c_str()) + "\n";
  if (service.empty()) return text + texts::kOpenHeldByRemedy;
  text += Format(texts::kOpenHeldByServiceRemedy, service.c_str());
  if (service == kModemManager) text += std::string("\n") + texts::kOpenModemManagerRule;
  return text;
}

std::string NotSerial(const plat::OpenFailure& failure) {
  const char* path = failure.path.c_str();
  std::string text;
  switch (failure.terminal) {
    case plat::OpenFailure::Terminal::None:
      text = Format(texts::kOpenNotSerial, path);
      break;
    case plat::OpenFailure::Terminal::Own:
      text = Format(texts::kOpenOwnTerminal, path);
      break;
    case plat::OpenFailure::Terminal::Console:
      text = Format(texts::kOpenConsole, path);
      break;
    case plat::OpenFailure::Terminal::OtherSession:
      text = Format(texts::kOpenOtherTerminal, path, failure.session.program.c_str(),
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
      return Format(texts::kOpenNotInGroup, path, user, group) + "\n" +
             Format(texts::kOpenNotInGroupRemedy, group, user);
    case Cause::GroupNotActive:
      return Format(texts::kOpenGroupNotActive, path, user, group) + "\n" +
             texts::kOpenGroupNotActiveRemedy;
    case Cause::NoAccess:
      return Format(texts::kOpenNoAccess, path, failure.owner.c_str(), group, failure.mode.c_str()) +
             "\n" + Format(texts::kOpenNoAccessRemedy, path);
    case Cause::Held:
      return Held(failure);
    case Cause::Gone:
      return Format(texts::kOpenGone, path) + "\n" + texts::kOpenGoneRemedy;
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
