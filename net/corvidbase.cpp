#include "net/corvidbase.h"

#include "net/errorcodes.h"

#include <cstdint>
#include <utility>

namespace plover {

namespace {

struct CodeText {
    int code;
    const char* text;
};


constexpr CodeText engineTexts[] = {
    {EngineError::RemotePortLocked, "You cannot change the RemotePort at this time. A connection is in progress."},
    {EngineError::RemoteHostLocked, "You cannot change the RemoteHost at this time. A connection is in progress."},
    {EngineError::NoRemoteAddress, "The RemoteHost address is invalid (0.0.0.0)."},
    {EngineError::AlreadyConnected, "Already connected. If you want to reconnect, close the current connection first."},
    {EngineError::NoRemotePort, "RemotePort can't be zero. Please specify a valid service port number."},
    {EngineError::ReplyFailed, "The server refused the command."},
    {EngineError::ConnectionFailed, "Failed to connect."},
    {EngineError::Busy, "Busy performing current action."},
    {EngineError::UploadFailed, "Error reading from local file."},
    {EngineError::UploadNotStarted, "Error reading from local file."},
    {EngineError::NoDataConnection, "The server did not open the data connection."},
    {EngineError::LineBreakInArgument, "A command argument must not contain a line break."},
    {EngineError::ConnectionClosed, "Connection closed by the server."},
    {EngineError::MalformedReply, "The server sent a reply that is not FTP."},
    {EngineError::ShortTransfer, "The transfer ended early."},
    {EngineError::TimedOut, "The server did not answer in time."},
    {EngineError::Aborted, "The transfer was aborted."},
    {EngineError::DownloadNotStored, "Error saving the local file."},
    {EngineError::Interrupted, "Interrupted."},
    {EngineError::AcceptFailed, "Failed to accept new socket."},
    {EngineError::SelectFailed, "Error calling WSAAsyncSelect on new socket."},
};

} // namespace

ECorvidBase::ECorvidBase(int code, const std::string& description)
    : Exception(std::to_string(code) + ": " + description), Code(code)
{
}

std::string ErrorText(int code)
{
    if (code == 0)
        return "Ok.";
    for (const CodeText& e : engineTexts)
        if (e.code == code)
            return e.text;
    if (std::string text = SocketErrorText(code); !text.empty())
        return text;
    return "Error " + std::to_string(code) + ".";
}

TCorvidBase::TCorvidBase(QObject* owner) : QObject(owner) {}

TCorvidBase::~TCorvidBase() { RaiseErrors = false; }

void TCorvidBase::ReportError(int code, const std::string& text)
{
    LastError = code;
    LastErrorText = text.empty() ? ErrorText(code) : text;
    if (RaiseErrors)
        std::rethrow_exception(CreateError(code, LastErrorText));
}

std::exception_ptr TCorvidBase::CreateError(int code, const std::string& description)
{
    return std::make_exception_ptr(ECorvidBase(code, description));
}

void TCorvidBase::FireError(int code, const std::string& description)
{
    if (OnError)
        OnError(this, code, description);
}

} // namespace plover
