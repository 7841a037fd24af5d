// The bytes of the board protocol: one byte at a time, each answered by the board.
#pragma once

#include <cstdint>

namespace protocol {

constexpr std::uint8_t kProbe = 0xBA;          // is a board listening? answered with 0xBA
constexpr std::uint8_t kStart1 = 0xA5;         // start character 1, opens every operation
constexpr std::uint8_t kStartOperatingTime = 0xA3;  // start character 2: clear operating time
constexpr std::uint8_t kStartErrorMemory = 0xAD;    // start character 2: clear error memory
constexpr std::uint8_t kStartSerialNumber = 0xB8;   // start character 2: program serial number
constexpr std::uint8_t kStartDeviceType = 0xA4;     // start character 2: program device type
constexpr std::uint8_t kStartConfiguration = 0xA8;  // start character 2: send configuration;
                                                    // answered with the board's version byte
constexpr std::uint8_t kValueEnd = 0x5F;       // '_' after each decimal value, echoed
constexpr std::uint8_t kDataEnd = 0xFA;        // end of an operation's data, echoed
constexpr std::uint8_t kConfirm = 0xAF;        // sent by the board once it has stored the data

}  // namespace protocol
