// ConfigRecord: what the board is programmed with.
//
// The application owns the one instance (initialised with the values below and filled from
// Quorix.lcd by its reader); the board operations read it. The layout mirrors the record the
// file reader and the operations agree on: fixed-size text fields, whose bytes are sent to the
// board as stored (a short serial text sends its terminating zero and the byte after it).
#pragma once

#include <cstdint>

namespace protocol {

// The configuration version that the file and the board's firmware must carry.
constexpr std::uint8_t kFormatVersion = 4;
// The number of configuration parameters.
constexpr std::int32_t kParameterCount = 120;
// The serial number goes to the board as seven bytes: the first 4 of serialPart1, then the
// first 3 of serialPart2, as stored, whatever the texts' lengths.
constexpr int kSerialPart1Bytes = 4;
constexpr int kSerialPart2Bytes = 3;

struct ConfigRecord {
  std::uint8_t formatVersion = kFormatVersion;
  std::uint8_t loaded = 0;           // 1 once the file has been read
  char serialPart1[10] = "....";     // at most 9 characters and a terminator
  char serialPart2[10] = "...";
  char portName[53] = "COM1";        // the current COM port name
  std::int32_t parameterCount = kParameterCount;
  std::int32_t deviceType = -1;
  std::int32_t parameters[kParameterCount] = {
      15,   1,    1,    1,    1,    1,   1,     1,    0,    1,     // 0..9
      1,    1,    1,    30,   1,    1,   30,    10,   10,   10,    // 10..19
      10,   1,    1,    1000, 1,    0,   500,   10465, 1,   0,     // 20..29
      1000, 0,    0,    1,    0,    1,   0,     0,    12,   11,    // 30..39
      0,    1,    1,    1,    1,    0,   100,   250,  210,  103,   // 40..49
      104,  105,  106,  107,  108,  109, 0,     201,  202,  203,   // 50..59
      204,  205,  206,  207,  208,  209, 210,   211,  0,    301,   // 60..69
      302,  303,  304,  305,  306,  307, 308,   309,  310,  311,   // 70..79
      0,    50,   350,  20,   0,    0,   0,     0,    0,    0,     // 80..89
      // 90..119: all 0
  };
};

}  // namespace protocol
