// The FT232R converters the search can see, in the order the system lists their device names:
// for `--list`, for `--converter SERIAL` (a station pinned to its converter, wherever the system
// put its port) and for the note that names the other converters when the search takes the
// first of several.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "comport/comport.h"
#include "framework/stringlist.h"
#include "platform/platform.h"

namespace app {

struct AttachedConverter {
  // As in the device name: the chip's serial and its interface letter ("A5XK3RJTA"), or, for a
  // chip without a serial, its USB location ("5&1C4A9D3E&0&2").
  std::string instanceId;
  // The chip's serial ("A5XK3RJT"); empty for a chip named by its location.
  std::string serial;
  // The port the system gave it (its registry "PortName"); empty when the key or value is missing.
  std::string port;
  // The converter's latency timer in ms, where the system keeps it with the port's parameters.
  std::optional<unsigned> latencyMs;

  // What the user types to pick it: its serial, or its location when it has none.
  const std::string& Name() const { return serial.empty() ? instanceId : serial; }
};

// How often the search reads its view of the machine before it takes what it read last.
inline constexpr int kSearchViewReads = 3;

// The search's view of the machine, read from one moment: the system's COM ports (into ports)
// and the device names (into devices), both emptied first. The port list is read before and
// after the device names; when the two port lists differ, a converter was plugged in or pulled
// between the scans and all three are read again, up to kSearchViewReads times. A machine that
// never holds still that long gives the last read's port list from before its device names, as
// a single scan would. Returns the number of reads (1 on a machine that holds still).
int ReadSearchView(comport::TCustomComPort& port, fw::TStringList& ports,
                   fw::TStringList& devices);

// The chip's serial in an instance id: the id without its interface letter; "" for a location.
std::string SerialOfInstance(const std::string& instanceId);

// The converters among the device names (the search's prefix, byte for byte), in their order,
// each with what the registry says of it.
std::vector<AttachedConverter> AttachedConverters(const fw::TStringList& devices,
                                                  plat::SystemApi& system);

// Whether wanted names this converter: its serial or its instance id, letters in any case.
bool ConverterNamed(const AttachedConverter& converter, const std::string& wanted);

// The converters' names, comma-separated ("A5XK3RJT, B7QW2MZK"); "-" for none.
std::string ConverterNames(const std::vector<AttachedConverter>& converters);

}  // namespace app
