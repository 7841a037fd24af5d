// The USB-serial converter between a simulated serial device's far end and the host: an FT232R
// behind its driver, as far as it decides when the host sees what the far end sent.
//
// What the chip does (FTDI's application note on data throughput, latency and handshaking,
// AN232B-04, and the packet format Linux's ftdi_sio driver reads): bytes from the line wait in
// the chip's buffer until it sends them to the host in one USB packet of 2 status bytes (modem
// and line status) and at most 62 data bytes. A packet goes
//   - at once when 62 data bytes are waiting (the packet is full);
//   - at once when CTS, DSR, DCD or RI changes level: the packet carries the new modem status
//     and whatever data was waiting (possibly none);
//   - when the latency timer runs out. The timer measures the time since the chip last sent a
//     packet; it restarts with every packet, and when it runs out the chip sends the status
//     bytes even with no data. While the port is open its expiries therefore form a grid with
//     the latency as the step, anchored at the last packet sent for another reason (or at the
//     open), and a byte waits until the next point of that grid after it arrived: up to the
//     whole latency, 16 ms by default.
// The host learns of a modem-line change only from a packet; since a change sends one at once,
// line changes reach the host at the instant they happen, together with the data before them.
//
// The driver programs the latency timer when the port is opened: the value it keeps for the
// converter (LatencyTimer in the converter's Device Parameters key on Windows), when it honours
// what a program wrote there, else the converter's own setting.
//
// Left out: the event character (the tool enables none), the USB frame and bulk scheduling
// (a packet is taken to reach the host's input queue at the instant it is sent), the host to
// converter direction (bytes the host writes go onto the line as from an ideal port), and line
// errors and breaks, which reach the host at once instead of in the next packet's status bytes.
// A purge of the host's input (PURGE_RXCLEAR) also empties the chip's buffer, as the driver
// passes the purge on to the chip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct ConverterSettings {
  // The latency timer the driver programs unless it honours a request (1 to 255 ms).
  int latencyMs = 16;
  // Whether the driver takes a latency written to its registry value into use at the next open.
  bool honoursRequest = true;
};

// The chip's receive buffer and its latency timer, on nanosecond instants. Not thread-safe: its
// device guards it with the machine's lock.
class ConverterBuffer {
 public:
  static constexpr std::size_t kPacketData = 62;
  static constexpr int kMinLatencyMs = 1;
  static constexpr int kMaxLatencyMs = 255;

  // The port was opened at nowNs with this latency: nothing waits, the timer starts now.
  void Restart(std::int64_t nowNs, int latencyMs);
  // Drops what waits (the host closed or purged the port, or the device went).
  void Clear() { waiting_.clear(); }
  // A byte has arrived from the line at nowNs. True when the packet is now full and must go.
  bool Add(std::int64_t nowNs, std::uint8_t byte);
  bool Empty() const { return waiting_.empty(); }
  // The instant the waiting bytes go when nothing sends them sooner: the first expiry of the
  // timer after the first of them arrived. Precondition: !Empty().
  std::int64_t DueNs() const { return dueNs_; }
  // Sends the packet at nowNs: returns the waiting bytes in order and restarts the timer.
  std::vector<std::uint8_t> Take(std::int64_t nowNs);
  int LatencyMs() const { return latencyMs_; }

 private:
  // The first expiry strictly after nowNs.
  std::int64_t NextExpiry(std::int64_t nowNs) const;

  std::vector<std::uint8_t> waiting_;
  std::int64_t anchorNs_ = 0;
  std::int64_t dueNs_ = 0;
  int latencyMs_ = 16;
};

}  // namespace sim
