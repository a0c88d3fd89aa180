#pragma once
// The one exception base of the program. Every failure travels as an Exception (or a class derived
// from it) carrying a UTF-8 message; the window's general error handler shows that message.
#include <stdexcept>
#include <string>

#include "toolkit/messages.h"

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A picture whose bytes do not describe a valid image.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A stream that ended (or failed) before the bytes asked for were read.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// A stream that did not take all the bytes written to it.
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// A file that could not be opened for reading.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// A file that could not be created for writing.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// A size or allocation beyond what an image may take.
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

// Replaces the first "%s" of a message pattern by an argument.
std::string FormatMessage(const char* pattern, const std::string& argument);
