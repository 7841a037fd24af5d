// Scenario files: a simulated machine and the board on one of its ports, with injected faults.
//
// A scenario file holds `key = value` lines; blank lines and lines starting with # are
// skipped (a # later in a line is part of the value: device names contain it). Every key is
// optional; a key given twice takes the later value, except fault, which adds one fault per
// line. An unknown key or a bad value is an error naming the file and line.
//
// The machine:
//   ports = COM1 COM3          the port map, in order (may be empty)
//   devices = C: COM1 ftdi:A5XK3RJTA ...
//                              the MS-DOS device-name list, in order; ftdi:<id> stands for
//                              FTDIBUS#VID_0403+PID_6001+<id>#0000#{86e0d1e0-...}, the name under
//                              which the converter's driver publishes it
//   portname.<id> = COM3       the registry PortName of converter instance <id> (no backslash
//                              in it: it names a registry key); the value none
//                              makes the key without a PortName value. A converter without a
//                              portname line has no key.
//   busy = COM3                ports held by another program
//   board.port = COM3          the port the board is attached to
// Defaults: ports COM1 COM3, a few ordinary device names and the converter ftdi:A5XK3RJTA,
// portname.A5XK3RJTA = COM3 (this default applies only when neither devices nor any portname
// line is given), nothing busy, the board on COM3.
//
// The board (see boardsettings.h for the meaning):
//   board.present = yes|no     board.version = 4             board.echo_delay_ms = 0
//   board.dsr = follow|on|off  board.dsr_delay_ms = 5        board.confirm_byte = 0xAF
//   board.store_ms.<operation> = N   for operating_time (300), error_memory (2000), serial (300),
//                                    device_type (1000), configuration (3000)
// Faults (repeatable):
//   fault = <operation> <step> <kind>
//     operation: probe, operating_time, error_memory, serial, device_type, configuration
//     step: start1, start2, data:N, end, confirm (the probe has start1 only; the clearing
//           commands have no data and no end; the serial number has data:0 to data:6)
//     kind: silent, wrong=0xNN, delay=MS, stray=0xNN
//   unplug_after_bytes = N                             the converter vanishes after N host bytes
//   line_error_after_bytes = N frame|overrun|parity|break
// The converter between the board and the host (ConverterSettings below):
//   converter.latency_ms = N   its latency timer, 1 to 255 (16 by default): what the board
//                              sends reaches the host when the timer runs out, or at once when
//                              62 bytes wait or a modem line changes
//   converter.low_latency = honoured|ignored
//                              whether the driver takes a latency the tool writes to the
//                              registry into use at the next open (honoured by default)
//   Either key puts the converter in (with the other at its default) and gives each
//   converter's registry key the value LatencyTimer = N; without them the host sees every byte
//   the moment it has arrived and the registry has no LatencyTimer.
// Several boards (a line of stations, each converter with its own board): a line
//   [board COM4]
// starts the section of another board, on that port; the keys after it, up to the next
// section, describe that board alone (board.* but board.port, fault, unplug_after_bytes,
// line_error_after_bytes), starting from the defaults. The machine's keys (ports, devices,
// portname.*, busy, board.port, converter.*) come before the first section. Every board has a
// port of its own. A run opens one port and talks to the board behind it; the others wait.
// Numbers are decimal or 0x-prefixed hexadecimal.
#pragma once

#include <istream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/boardsettings.h"

namespace board {

// The board's converter's name in the MS-DOS device-name list for an instance id.
std::string FtdiDeviceName(const std::string& instanceId);

// The USB-serial converter between the board and the host, as a scenario sets it up.
struct ConverterSettings {
  static constexpr int kMinLatencyMs = 1;
  static constexpr int kMaxLatencyMs = 255;
  // Its latency timer: what the board sends waits in the converter for at most this long.
  int latencyMs = 16;
  // Whether its driver takes a latency the tool writes to the registry into use at the next
  // open.
  bool honoursRequest = true;
};

struct Scenario {
  std::vector<std::string> ports{"COM1", "COM3"};
  std::vector<std::string> devices;
  // Converter instance id -> its registry PortName (nullopt: the key without the value).
  std::map<std::string, std::optional<std::string>> portNames;
  std::vector<std::string> busy;
  std::string boardPort = "COM3";
  BoardSettings board;
  // The converter's timing; none: an ideal converter.
  std::optional<ConverterSettings> converter;
  // The further boards of [board PORT] sections, in their order.
  struct PortBoard {
    std::string port;
    BoardSettings settings;
  };
  std::vector<PortBoard> moreBoards;

  // Every serial device the machine has: the port map, the converters' port names and the
  // boards' ports, each once, in that order.
  std::vector<std::string> SerialDevices() const;
};

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The healthy default machine.
Scenario DefaultScenario();
// Reads a scenario; source names it in error messages. Lines longer than 4096 characters are
// refused. Raises ScenarioError.
Scenario ParseScenario(std::istream& in, const std::string& source);
// Reads a scenario file: a regular file of at most 1 MiB. Raises ScenarioError (also when it
// cannot be opened, or is a folder, a device or a FIFO).
// path is the text of a path (platform/hosttext.h).
Scenario LoadScenarioFile(const std::string& path);

}  // namespace board
