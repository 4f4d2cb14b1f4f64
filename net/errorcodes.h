// The FTP engine's own error codes, beside the socket error numbers (10000
// and up), in one place. ErrorText (corvidbase.h) gives each a text a person
// understands; where a failure has a more precise text (a server's reply
// line, a byte count) the engine reports that instead.
#pragma once

namespace plover::EngineError {

// Connection guards of the TCP connection.
inline constexpr int RemotePortLocked = 100;
inline constexpr int RemoteHostLocked = 101;
inline constexpr int NoRemoteAddress = 102;
inline constexpr int AlreadyConnected = 104;
inline constexpr int NoRemotePort = 116;

// The FTP control connection.
inline constexpr int ReplyFailed = 141;        // a 4xx or 5xx reply; the text is the reply line
inline constexpr int ConnectionFailed = 142;   // OnError only
inline constexpr int Busy = 143;
inline constexpr int UploadFailed = 144;       // reading or seeking the file during an upload
inline constexpr int UploadNotStarted = 145;
inline constexpr int NoDataConnection = 146;
inline constexpr int LineBreakInArgument = 147;
inline constexpr int ConnectionClosed = 148;   // the server closed while a reply was awaited
inline constexpr int MalformedReply = 149;
inline constexpr int ShortTransfer = 150;      // a download's byte count differs from the announced size
inline constexpr int TimedOut = 151;
inline constexpr int Aborted = 152;
inline constexpr int DownloadNotStored = 153;  // the finished download could not take its name

// Waits.
inline constexpr int Interrupted = 301;

// The data connection's listener.
inline constexpr int AcceptFailed = 311;
inline constexpr int SelectFailed = 312;

} // namespace plover::EngineError
