// The root of the socket components: the error machinery they share (the
// OnError event, the last error code and text, ECorvidBase) and the texts of
// the Windows Sockets error numbers.
#pragma once

#include "platform/exception.h"
#include "platform/socketerrors.h"

#include <QObject>

#include <exception>
#include <functional>
#include <string>

namespace plover {

// A socket component's failure: Code plus the message "<code>: <description>".
class ECorvidBase : public Exception {
public:
    ECorvidBase(int code, const std::string& description);
    int Code;
};

class TCorvidBase;
using TErrorEvent = std::function<void(TCorvidBase* sender, int errorCode, const std::string& description)>;

// The plain text of a code for a message a person reads: "Connection
// refused." for 10061, "Host not found." for 11001, the engine's own texts
// for its codes (errorcodes.h), "Error <code>." for anything else.
std::string ErrorText(int code);

class TCorvidBase : public QObject {
public:
    explicit TCorvidBase(QObject* owner = nullptr);
    ~TCorvidBase() override;
    TCorvidBase(const TCorvidBase&) = delete;
    TCorvidBase& operator=(const TCorvidBase&) = delete;

    TErrorEvent OnError;
    // While true, ReportError raises; internal steps clear it for a while to
    // inspect a failure themselves.
    bool RaiseErrors = true;
    int LastError = 0;
    std::string LastErrorText;

    // Records the failure (text empty: ErrorText(code)) and raises
    // CreateError's exception while RaiseErrors is true. Never fires OnError.
    void ReportError(int code, const std::string& text = {});

    // The exception a synchronous failure raises; descendants build their
    // own class (EFTP) the same way.
    virtual std::exception_ptr CreateError(int code, const std::string& description);
    // Asynchronous trouble: calls OnError when one is assigned.
    virtual void FireError(int code, const std::string& description);
};

// Runs a step with RaiseErrors cleared, so the caller can inspect its
// failure itself; the old value comes back at the end of the scope.
class QuietErrors final {
public:
    explicit QuietErrors(TCorvidBase& c) : m_c(c), m_saved(c.RaiseErrors) { c.RaiseErrors = false; }
    ~QuietErrors() { m_c.RaiseErrors = m_saved; }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    TCorvidBase& m_c;
    bool m_saved;
};

} // namespace plover
