// The framework's exceptions.
//
// Exception is the base of every error the framework and the component raise on purpose. EAbort
// is the silent abort: the application's exception handler swallows it without a message, so a
// handler that has already told the user can unwind the running event with it.
#pragma once

#include <exception>
#include <string>

namespace fw {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A text file could not be opened, written or closed. ErrorCode is the C library's errno.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode)
      : Exception(std::move(message)), errorCode_(errorCode) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

class EThread : public Exception {
 public:
  using Exception::Exception;
};

// The system would not give what the program needs to go on: a thread, a timer or memory.
// Unlike other exceptions it is not shown and forgotten by the application's handler: it ends
// the run (see TApplication::HandleException).
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(); }

}  // namespace fw
