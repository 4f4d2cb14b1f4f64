// The exception base of the whole program and the file-layer failure.
// Every failure the design names (EFTP, ECorvidBase, EMailError, ...) derives
// from Exception; a UI handler never lets one escape into Qt's event loop
// (see platform/guard.h).
#pragma once

#include <exception>
#include <string>

namespace plover {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const std::string& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

// A failed file operation, with the run-time library's code and text
// ("File access denied", "Disk full", "Read beyond end of file", "I/O error N").
class EInOutError : public Exception {
public:
    explicit EInOutError(int code);
    int ErrorCode;

    // Codes of the run-time library that have their own text.
    static constexpr int FileNotFound = 2;
    static constexpr int AccessDenied = 5;
    static constexpr int ReadBeyondEnd = 100;
    static constexpr int DiskFull = 101;

    // Maps an errno value onto the run-time library's code.
    static EInOutError FromErrno(int err);
};

std::string InOutErrorText(int code);

// Raised for a call that is not allowed in the object's present state.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

} // namespace plover
