// TCustomComPort: overlapped reads and writes, their completion waits, the queue counts, the
// purge family and the typed readers and writers built on Read and Write.
//
// Per direction the port is idle (its completion event signalled) or has one operation in
// flight (event reset). ReadCount/ReadBuffer and WriteCount/WriteBuffer describe the operation
// whose completion has not been waited for yet; the count is cleared as soon as a completion
// has been established (or a transfer failed), so a later log line never reads a buffer the
// caller may have released.
#include <cstring>

#include "comport/comport.h"
#include "framework/sysutils.h"

namespace comport {

namespace {
constexpr char kLineEnd = 13;

std::int32_t Length(std::size_t size) { return static_cast<std::int32_t>(size); }
}  // namespace

// ---- Core operations ----

void TCustomComPort::RaiseNegativeLength(std::int32_t /*length*/) const {
  RaiseError(ekNegativeLength, 0, texts::kNegativeLength);
}

bool TCustomComPort::EventSignalled(HANDLE event) const {
  return Kernel().WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

void TCustomComPort::IssueTransfer(bool read, void* buffer, std::int32_t length) {
  const HANDLE event = read ? readEvent_ : writeEvent_;
  OVERLAPPED& overlapped = read ? readOverlapped_ : writeOverlapped_;
  std::memset(&overlapped, 0, sizeof overlapped);
  overlapped.hEvent = event;
  Check(Kernel().ResetEvent(event));
  DWORD transferred = 0;
  const BOOL ok = read ? Serial().ReadFile(handle_, buffer, static_cast<DWORD>(length),
                                           &transferred, &overlapped)
                       : Serial().WriteFile(handle_, buffer, static_cast<DWORD>(length),
                                            &transferred, &overlapped);
  if (!ok) {
    const DWORD error = Kernel().GetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_IO_PENDING) {
      // Refused: nothing is in flight, so the direction must not look busy (a later wait
      // would otherwise wait for a transfer that never started).
      (read ? readCount_ : writeCount_) = 0;
      Kernel().SetEvent(event);
      Kernel().SetLastError(error);
    }
  }
  Check(ok != FALSE);
}

void TCustomComPort::Read(void* buffer, std::int32_t length, bool waitOnCompletion) {
  CheckActive();
  if (length < 0) RaiseNegativeLength(length);
  if (beforeRead_) beforeRead_(this, buffer, length, waitOnCompletion);
  WaitForReadCompletion();
  readCount_ = 0;
  readBuffer_ = buffer;
  if (length != 0) {
    if (Log()) WriteLog("Read request " + fw::IntToStr(length) + " byte(s)");
    readCount_ = static_cast<DWORD>(length);
    IssueTransfer(true, buffer, length);
    if (waitOnCompletion) WaitForReadCompletion();
  }
  if (afterRead_) afterRead_(this, buffer, length, waitOnCompletion);
}

void TCustomComPort::Write(const void* buffer, std::int32_t length, bool waitOnCompletion) {
  CheckActive();
  if (length < 0) RaiseNegativeLength(length);
  if (beforeWrite_) beforeWrite_(this, buffer, length, waitOnCompletion);
  WaitForWriteCompletion();
  writeCount_ = 0;
  writeBuffer_ = buffer;
  if (length != 0) {
    if (Log()) WriteLog("Write request ", buffer, length);
    const void* data = buffer;
    if (!waitOnCompletion) {
      // The caller's buffer is free as soon as this returns.
      const auto* bytes = static_cast<const std::uint8_t*>(buffer);
      writeCopy_.assign(bytes, bytes + length);
      data = writeCopy_.data();
    }
    writeBuffer_ = data;
    writeCount_ = static_cast<DWORD>(length);
    IssueTransfer(false, const_cast<void*>(data), length);
    if (waitOnCompletion) WaitForWriteCompletion();
  }
  if (afterWrite_) afterWrite_(this, buffer, length, waitOnCompletion);
}

void TCustomComPort::WaitForCompletion(bool read) {
  const HANDLE event = read ? readEvent_ : writeEvent_;
  OVERLAPPED& overlapped = read ? readOverlapped_ : writeOverlapped_;
  DWORD& count = read ? readCount_ : writeCount_;
  const void* buffer = read ? readBuffer_ : writeBuffer_;
  if (event != nullptr && !EventSignalled(event)) {
    DWORD transferred = 0;
    const BOOL ok = Serial().GetOverlappedResult(handle_, &overlapped, &transferred, TRUE);
    const DWORD expected = count;
    if (!ok) {
      const DWORD error = Kernel().GetLastError();
      count = 0;
      Kernel().SetLastError(error);
      Check(false);
    }
    if (transferred != expected) {
      count = 0;
      RaiseError(ekTimeout, 0, texts::kTimeout);
    }
  }
  // The completion is established: log it at most once, and never later than now.
  const DWORD completed = count;
  count = 0;
  CheckLineErrors();
  if (Log() && completed != 0) {
    WriteLog(read ? "Read complete " : "Write complete ", buffer,
             static_cast<std::int32_t>(completed));
  }
}

void TCustomComPort::WaitForReadCompletion() { WaitForCompletion(true); }

void TCustomComPort::WaitForWriteCompletion() { WaitForCompletion(false); }

bool TCustomComPort::ReadPending() const {
  if (readEvent_ == nullptr) return false;
  if (!EventSignalled(readEvent_)) return true;
  // The caller now knows the read is over and may release its buffer.
  readCount_ = 0;
  return false;
}

bool TCustomComPort::WritePending() const {
  // A write that was not waited for uses WriteCopy, which lives as long as the port.
  return writeEvent_ != nullptr && !EventSignalled(writeEvent_);
}

std::int32_t TCustomComPort::QueueCount(bool input) {
  DWORD errors = 0;
  COMSTAT stat{};
  Check(Serial().ClearCommError(handle_, &errors, &stat));
  if (errors != 0 && onLineError_) onLineError_(this, GetLineErrors(errors));
  return static_cast<std::int32_t>(input ? stat.cbInQue : stat.cbOutQue);
}

std::int32_t TCustomComPort::InputCount() { return QueueCount(true); }

std::int32_t TCustomComPort::OutputCount() { return QueueCount(false); }

void TCustomComPort::Purge(DWORD flags) {
  if (!HandleValid()) return;
  Check(Serial().PurgeComm(handle_, flags));
}

void TCustomComPort::PurgeInput() { Purge(PURGE_RXABORT | PURGE_RXCLEAR); }
void TCustomComPort::PurgeOutput() { Purge(PURGE_TXABORT | PURGE_TXCLEAR); }
void TCustomComPort::ClearInput() { Purge(PURGE_RXCLEAR); }
void TCustomComPort::ClearOutput() { Purge(PURGE_TXCLEAR); }
void TCustomComPort::AbortInput() { Purge(PURGE_RXABORT); }
void TCustomComPort::AbortOutput() { Purge(PURGE_TXABORT); }

void TCustomComPort::Flush() {
  if (!HandleValid()) return;
  Check(Serial().FlushFileBuffers(handle_));
}

// ---- Typed readers and writers ----

std::uint8_t TCustomComPort::ReadByte() {
  std::uint8_t value = 0;
  Read(&value, 1, true);
  return value;
}

void TCustomComPort::WriteByte(std::uint8_t value) { Write(&value, 1, false); }

char TCustomComPort::ReadChar() {
  char value = 0;
  Read(&value, 1, true);
  return value;
}

char TCustomComPort::ReadAnsiChar() { return ReadChar(); }

void TCustomComPort::WriteChar(char value) { Write(&value, 1, false); }

void TCustomComPort::WriteAnsiChar(char value) { WriteChar(value); }

std::uint16_t TCustomComPort::ReadWord() {
  std::uint8_t bytes[2] = {};
  Read(bytes, 2, true);
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

void TCustomComPort::WriteWord(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value),
                                 static_cast<std::uint8_t>(value >> 8)};
  Write(bytes, 2, false);
}

std::uint32_t TCustomComPort::ReadDWord() {
  std::uint8_t bytes[4] = {};
  Read(bytes, 4, true);
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

void TCustomComPort::WriteDWord(std::uint32_t value) {
  std::uint8_t bytes[4];
  for (std::uint8_t& b : bytes) {
    b = static_cast<std::uint8_t>(value);
    value >>= 8;
  }
  Write(bytes, 4, false);
}

std::string TCustomComPort::ReadString() {
  WaitForReadCompletion();
  const std::int32_t count = InputCount();
  std::string result(static_cast<std::size_t>(count), '\0');
  if (count == 0) {
    // Still the open-port check, the read handlers and the completion wait.
    Read(nullptr, 0, true);
  } else {
    Read(result.data(), count, true);
  }
  return result;
}

std::string TCustomComPort::ReadAnsiString() { return ReadString(); }

void TCustomComPort::WriteString(const std::string& value) {
  Write(value.data(), Length(value.size()), false);
}

void TCustomComPort::WriteAnsiString(const std::string& value) { WriteString(value); }

TBytes TCustomComPort::ReadBytes() {
  const std::int32_t count = InputCount();
  TBytes result(static_cast<std::size_t>(count));
  Read(result.data(), count, true);
  return result;
}

void TCustomComPort::WriteBytes(const TBytes& value) {
  Write(value.data(), Length(value.size()), false);
}

std::u16string TCustomComPort::ReadUtf8() { return fw::Utf8Decode(ReadAnsiString()); }

void TCustomComPort::WriteUtf8(const std::u16string& value) {
  WriteAnsiString(fw::Utf8Encode(value));
}

std::string TCustomComPort::ReadUntil(char delimiter) {
  std::string result;
  char c;
  do {
    c = ReadChar();
    result += c;
  } while (c != delimiter);
  return result;
}

std::string TCustomComPort::ReadAnsiUntil(char delimiter) { return ReadUntil(delimiter); }

TBytes TCustomComPort::ReadUntilBytes(std::uint8_t delimiter) {
  TBytes result;
  std::uint8_t b;
  do {
    b = ReadByte();
    result.push_back(b);
  } while (b != delimiter);
  return result;
}

std::u16string TCustomComPort::ReadUntilUtf8(char delimiter) {
  return fw::Utf8Decode(ReadAnsiUntil(delimiter));
}

std::string TCustomComPort::ReadLine() { return ReadUntil(kLineEnd); }
std::string TCustomComPort::ReadAnsiLine() { return ReadAnsiUntil(kLineEnd); }
TBytes TCustomComPort::ReadLineBytes() { return ReadUntilBytes(kLineEnd); }
std::u16string TCustomComPort::ReadLineUtf8() { return ReadUntilUtf8(kLineEnd); }

void TCustomComPort::WriteLine(const std::string& value) {
  WriteString(value);
  WriteChar(kLineEnd);
}

void TCustomComPort::WriteAnsiLine(const std::string& value) {
  WriteAnsiString(value);
  WriteAnsiChar(kLineEnd);
}

void TCustomComPort::WriteLineBytes(const TBytes& value) {
  WriteBytes(value);
  WriteAnsiChar(kLineEnd);
}

void TCustomComPort::WriteLineUtf8(const std::u16string& value) {
  WriteUtf8(value);
  WriteAnsiChar(kLineEnd);
}

}  // namespace comport
