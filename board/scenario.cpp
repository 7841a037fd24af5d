#include "board/scenario.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ftdinames.h"
#include "platform/hosttext.h"

namespace board {

namespace {

constexpr const char* kDefaultConverter = "A5XK3RJTA";
// No scenario comes near these sizes; larger input is refused before it costs memory.
constexpr std::streamsize kLineMax = 4096;
constexpr std::uintmax_t kFileMax = 1 << 20;

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> Words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Reads the lines of one file and reports problems with their place.
class Parser {
 public:
  explicit Parser(std::string source) : source_(std::move(source)) {}

  Scenario Run(std::istream& in) {
    Scenario scenario = DefaultScenario();
    bool machineNamed = false;  // devices or a portname line given: no default converter key
    scenario.portNames.clear();
    std::string raw;
    while (NextLine(in, raw)) {
      const std::string text = Trim(raw);
      if (text.empty() || text[0] == '#') continue;
      if (text.front() == '[') {
        StartSection(scenario, text);
        continue;
      }
      const auto eq = text.find('=');
      if (eq == std::string::npos) Error("expected key = value");
      key_ = Trim(text.substr(0, eq));
      value_ = Trim(text.substr(eq + 1));
      if (key_ == "devices" || key_.rfind("portname.", 0) == 0) machineNamed = true;
      Apply(scenario);
    }
    if (!machineNamed) scenario.portNames = DefaultScenario().portNames;
    for (const Scenario::PortBoard& more : scenario.moreBoards) {
      if (more.port == scenario.boardPort) {
        throw ScenarioError(source_ + ": [board " + more.port + "]: board.port is that port");
      }
    }
    return scenario;
  }

 private:
  // The next line, at most kLineMax characters long; false at the end of the input.
  bool NextLine(std::istream& in, std::string& raw) {
    char buffer[kLineMax + 1];
    in.getline(buffer, sizeof buffer);
    if (in.gcount() == 0 && !in) return false;
    ++line_;
    if (in.fail() && !in.eof()) Error("line longer than " + std::to_string(kLineMax) + " characters");
    raw.assign(buffer);
    return true;
  }

  [[noreturn]] void Error(const std::string& problem) const {
    throw ScenarioError(source_ + ":" + std::to_string(line_) + ": " + problem);
  }
  [[noreturn]] void BadValue(const std::string& expected) const {
    Error("bad value '" + value_ + "' for " + key_ + " (" + expected + ")");
  }

  // A decimal or 0x-hexadecimal number within [low, high].
  long Number(const std::string& text, long low, long high, const std::string& what) const {
    if (text.empty()) BadValue(what);
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const bool valid = std::all_of(digits.begin(), digits.end(), [hex](unsigned char c) {
      return hex ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
    });
    errno = 0;
    const long value = valid ? std::strtol(digits.c_str(), nullptr, hex ? 16 : 10) : 0;
    if (!valid || errno == ERANGE || value < low || value > high) BadValue(what);
    return value;
  }
  long Number(long low, long high, const std::string& what) const {
    return Number(value_, low, high, what);
  }
  int Milliseconds() const {
    return static_cast<int>(Number(0, 3600000, "milliseconds, 0 to 3600000"));
  }

  // "[board PORT]": the next keys describe the board on PORT.
  void StartSection(Scenario& s, const std::string& text) {
    const std::vector<std::string> words =
        text.back() == ']' ? Words(text.substr(1, text.size() - 2)) : std::vector<std::string>{};
    if (words.size() != 2 || words[0] != "board") Error("expected [board PORT]");
    for (const Scenario::PortBoard& earlier : s.moreBoards) {
      if (earlier.port == words[1]) Error("[board " + words[1] + "] is given twice");
    }
    s.moreBoards.push_back({words[1], BoardSettings{}});
    inSection_ = true;
  }

  // A key of the machine, which no board's section may hold.
  bool MachineKey() const {
    return key_ == "ports" || key_ == "devices" || key_.rfind("portname.", 0) == 0 ||
           key_ == "busy" || key_ == "board.port" || key_.rfind("converter.", 0) == 0;
  }

  void Apply(Scenario& s) {
    if (inSection_ && MachineKey()) {
      Error("'" + key_ + "' describes the machine: it belongs before the first [board] section");
    }
    BoardSettings& b = inSection_ ? s.moreBoards.back().settings : s.board;
    if (key_ == "ports") {
      s.ports = Words(value_);
    } else if (key_ == "devices") {
      s.devices.clear();
      for (const std::string& w : Words(value_)) {
        s.devices.push_back(w.rfind("ftdi:", 0) == 0 ? FtdiDeviceName(w.substr(5)) : w);
      }
    } else if (key_.rfind("portname.", 0) == 0) {
      const std::string id = key_.substr(9);
      if (id.empty()) Error("portname. needs a converter instance id");
      // The id names a registry key, where a backslash would separate keys.
      if (id.find('\\') != std::string::npos) Error("a converter instance id has no backslash");
      if (Words(value_).size() != 1) BadValue("one port name, or none");
      s.portNames[id] = value_ == "none" ? std::nullopt : std::optional<std::string>(value_);
    } else if (key_ == "busy") {
      s.busy = Words(value_);
    } else if (key_ == "board.port") {
      if (Words(value_).size() != 1) BadValue("one port name");
      s.boardPort = value_;
    } else if (key_ == "board.present") {
      if (value_ != "yes" && value_ != "no") BadValue("yes or no");
      b.present = value_ == "yes";
    } else if (key_ == "board.version") {
      b.version = static_cast<std::uint8_t>(Number(0, 255, "a byte"));
    } else if (key_ == "board.echo_delay_ms") {
      b.echoDelayMs = Milliseconds();
    } else if (key_ == "board.dsr") {
      if (value_ == "follow") b.dsr = DsrMode::kFollow;
      else if (value_ == "on") b.dsr = DsrMode::kOn;
      else if (value_ == "off") b.dsr = DsrMode::kOff;
      else BadValue("follow, on or off");
    } else if (key_ == "board.dsr_delay_ms") {
      b.dsrDelayMs = Milliseconds();
    } else if (key_.rfind("board.store_ms.", 0) == 0) {
      const auto operation = OperationFromName(key_.substr(15));
      if (!operation || *operation == Operation::kProbe) Error("unknown key '" + key_ + "'");
      b.storeMs[static_cast<int>(*operation)] = Milliseconds();
    } else if (key_ == "board.confirm_byte") {
      b.confirmByte = static_cast<std::uint8_t>(Number(0, 255, "a byte"));
    } else if (key_ == "fault") {
      b.faults.push_back(ParseFault());
    } else if (key_ == "converter.latency_ms") {
      if (!s.converter) s.converter.emplace();
      s.converter->latencyMs = static_cast<int>(Number(ConverterSettings::kMinLatencyMs,
                                                       ConverterSettings::kMaxLatencyMs,
                                                       "milliseconds, 1 to 255"));
    } else if (key_ == "converter.low_latency") {
      if (value_ != "honoured" && value_ != "ignored") BadValue("honoured or ignored");
      if (!s.converter) s.converter.emplace();
      s.converter->honoursRequest = value_ == "honoured";
    } else if (key_ == "unplug_after_bytes") {
      b.unplugAfterBytes = Number(1, 100000000, "a byte count from 1");
    } else if (key_ == "line_error_after_bytes") {
      const auto words = Words(value_);
      if (words.size() != 2) BadValue("a byte count and frame, overrun, parity or break");
      b.lineErrorAfterBytes = Number(words[0], 1, 100000000, "a byte count from 1");
      if (words[1] == "frame") b.lineError = LineError::kFrame;
      else if (words[1] == "overrun") b.lineError = LineError::kOverrun;
      else if (words[1] == "parity") b.lineError = LineError::kParity;
      else if (words[1] == "break") b.lineError = LineError::kBreak;
      else BadValue("a byte count and frame, overrun, parity or break");
    } else {
      Error("unknown key '" + key_ + "'");
    }
  }

  Fault ParseFault() const {
    const auto words = Words(value_);
    if (words.size() != 3) BadValue("<operation> <step> <kind>");
    Fault f;
    const auto operation = OperationFromName(words[0]);
    if (!operation) {
      BadValue("operation probe, operating_time, error_memory, serial, device_type or "
               "configuration");
    }
    f.operation = *operation;
    f.step = ParseStep(words[1], f.operation);
    const std::string& kind = words[2];
    const auto eq = kind.find('=');
    const std::string name = kind.substr(0, eq);
    const std::string argument = eq == std::string::npos ? "" : kind.substr(eq + 1);
    if (name == "silent" && eq == std::string::npos) {
      f.kind = FaultKind::kSilent;
    } else if (name == "wrong" && eq != std::string::npos) {
      f.kind = FaultKind::kWrong;
      f.value = static_cast<int>(Number(argument, 0, 255, "wrong=<byte>"));
    } else if (name == "stray" && eq != std::string::npos) {
      f.kind = FaultKind::kStray;
      f.value = static_cast<int>(Number(argument, 0, 255, "stray=<byte>"));
    } else if (name == "delay" && eq != std::string::npos) {
      f.kind = FaultKind::kDelay;
      f.value = static_cast<int>(Number(argument, 0, 3600000, "delay=<milliseconds>"));
    } else {
      BadValue("kind silent, wrong=0xNN, delay=MS or stray=0xNN");
    }
    return f;
  }

  Step ParseStep(const std::string& word, Operation operation) const {
    const bool clearing =
        operation == Operation::kOperatingTime || operation == Operation::kErrorMemory;
    Step step;
    if (word == "start1") {
      step.kind = StepKind::kStart1;
    } else if (word == "start2" && operation != Operation::kProbe) {
      step.kind = StepKind::kStart2;
    } else if (word == "end" && operation != Operation::kProbe && !clearing) {
      step.kind = StepKind::kEnd;
    } else if (word == "confirm" && operation != Operation::kProbe) {
      step.kind = StepKind::kConfirm;
    } else if (word.rfind("data:", 0) == 0 && operation != Operation::kProbe && !clearing) {
      step.kind = StepKind::kData;
      const long highest = operation == Operation::kSerial ? 6 : 100000000;
      step.index = static_cast<int>(Number(word.substr(5), 0, highest, "data:<index>"));
    } else {
      BadValue(std::string("a step of ") + OperationName(operation) +
               (operation == Operation::kProbe ? ": start1" : "") +
               (clearing ? ": start1, start2 or confirm" : "") +
               (!clearing && operation != Operation::kProbe
                    ? ": start1, start2, data:N, end or confirm"
                    : ""));
    }
    return step;
  }

  std::string source_;
  int line_ = 0;
  bool inSection_ = false;  // after a [board PORT] line
  std::string key_;
  std::string value_;
};

}  // namespace

std::string FtdiDeviceName(const std::string& instanceId) {
  return plat::ftdi::DeviceName(plat::ftdi::ConverterDeviceId(instanceId));
}

std::vector<std::string> Scenario::SerialDevices() const {
  std::vector<std::string> names;
  auto add = [&names](const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  for (const std::string& p : ports) add(p);
  for (const auto& [id, port] : portNames) {
    if (port) add(*port);
  }
  add(boardPort);
  for (const PortBoard& more : moreBoards) add(more.port);
  return names;
}

Scenario DefaultScenario() {
  Scenario s;
  s.devices = {"C:", "NUL", "PhysicalDrive0", "COM1", "COM3",
               FtdiDeviceName(kDefaultConverter), "Global"};
  s.portNames[kDefaultConverter] = "COM3";
  return s;
}

Scenario ParseScenario(std::istream& in, const std::string& source) {
  return Parser(source).Run(in);
}

Scenario LoadScenarioFile(const std::string& path) {
  const std::filesystem::path file = plat::FilePath(path);
  // Only a regular file: a FIFO would wait for a writer, a device might never end.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (!error && std::filesystem::is_directory(status)) {
    throw ScenarioError(path + ": is a folder, not a scenario file");
  }
  if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw ScenarioError(path + ": not a regular file (a device or a FIFO)");
  }
  const std::uintmax_t size =
      !error && std::filesystem::exists(status) ? std::filesystem::file_size(file, error) : 0;
  if (!error && size > kFileMax) {
    throw ScenarioError(path + ": larger than " + std::to_string(kFileMax) +
                        " bytes, not a scenario file");
  }
  std::ifstream in(file);
  if (!in) throw ScenarioError(path + ": cannot open the scenario file");
  return ParseScenario(in, path);
}

}  // namespace board
