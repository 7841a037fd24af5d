// The board's firmware, as far as the host's protocol can see it.
//
// It answers the probe 0xBA; echoes start character 1 (0xA5) and the operation's start
// character 2 (0xA8 is answered with its configuration version byte instead); echoes the data
// bytes, the value separators 0x5F and the end byte 0xFA; stores after 0xFA (right after the
// start characters for the two clearing commands) and then sends its confirmation 0xAF. DSR
// follows DTR after a delay, and raising DTR (the board's reset line) resets the dialogue.
// The scenario's faults change single answers; see boardsettings.h.
//
// The board cannot know which operation a start character 1 opens; for faults at that step it
// takes the operation after the last one it saw a start character 2 of, in the write sequence's
// order (the first operation at the start). ExpectNext lets a test that runs one operation on
// its own say which one comes.
//
// It records what it stored (Memory): the operations it completed, in order, the seven serial
// bytes, the device type and the configuration parameters. Thread safety: the entry points
// must be called one at a time (the line adapters do); Memory may be read from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "board/boardsettings.h"
#include "board/line.h"

namespace board {

struct Memory {
  std::vector<Operation> completed;                  // in the order they were stored
  std::optional<std::array<std::uint8_t, 7>> serial;
  std::optional<std::int32_t> deviceType;
  std::optional<std::vector<std::int32_t>> parameters;
};

class Board {
 public:
  Board(Line& line, BoardSettings settings);
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // Sets DSR for the host's present DTR level; call once the line is up.
  void Start(bool dtr);
  // A byte from the host has fully arrived.
  void OnReceive(std::uint8_t byte);
  // The host's DTR level (called on every change).
  void OnDtr(bool on);
  // The operation whose start character 1 comes next (see the top of this file).
  void ExpectNext(Operation operation);

  Memory Stored() const;

 private:
  enum class State { kIdle, kStart1Seen, kData, kEnd, kDead };

  void StartOperation(Operation operation, std::uint8_t start2);
  void ReceiveData(std::uint8_t byte);
  void EndData(std::uint8_t byte);
  // Sends answer at step of operation, after the echo delay and the step's faults.
  void Answer(Operation operation, Step step, std::uint8_t answer);
  // Stores the operation's data after its storing time, then confirms.
  void Store(Operation operation);
  // Records what was stored; false when the data is not what the operation stores.
  bool Commit(Operation operation, const std::vector<std::uint8_t>& data);
  // Sends a byte at now + delayMs unless the board was reset meanwhile.
  void SendLater(int delayMs, std::vector<std::uint8_t> bytes);

  Line& line_;
  const BoardSettings settings_;
  State state_ = State::kIdle;
  Operation operation_ = Operation::kProbe;  // the operation being received
  Operation next_ = Operation::kOperatingTime;
  std::vector<std::uint8_t> data_;
  long received_ = 0;
  unsigned generation_ = 0;  // bumped by a reset; stale answers are dropped
  mutable std::mutex memoryMutex_;
  Memory memory_;
};

// The board's reading of decimal values each closed by 0x5F ("12_-3_"); nullopt when the text
// is not such a sequence (an empty value, a stray character, a value out of range, or an
// unfinished last value).
std::optional<std::vector<std::int32_t>> ParseDecimalValues(const std::vector<std::uint8_t>& data);

}  // namespace board
