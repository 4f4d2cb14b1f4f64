// CDataInterface: the data side of an FTP transfer. It owns the local file
// and moves bytes between it (or the listing lines, or the downloaded text)
// and the data connection, firing its owner's transfer events.
//
// A download goes into a hidden file beside its target, which takes the
// target's name only when the owner says the transfer succeeded: a failed
// download never destroys a good copy, nor leaves a partial one that looks
// complete. ASCII transfers convert line ends; binary ones move the bytes
// as they are.
//
// The connection comes about either way: the server connects to our
// listener (active mode) or we connect to the port it names (passive mode);
// the transfer starts at FireConnected whichever way it was made.
#pragma once

#include "net/filestream.h"
#include "net/linebreaks.h"
#include "net/listeningsocket.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plover {

enum TTransferKind : std::uint8_t { tkNone = 0, tkToText = 1, tkUpload = 2, tkToFile = 3, tkListing = 4 };

class CDataInterface final : public CListeningSocket {
public:
    // Raw transfers move up to this much per receive or per upload turn
    // (measured on loopback: 1 MiB beats 256 KiB and 128 KiB).
    static constexpr std::int32_t BlockSize = 1024 * 1024;
    // The longest listing line kept whole; a longer one adds no row.
    static constexpr std::int32_t ListingLineLimit = 64 * 1024;

    explicit CDataInterface(QObject* owner = nullptr);
    ~CDataInterface() override;

    TTransferKind TransferKind() const { return m_kind; }
    // Set before each data command: raw blocks for files and text, lines
    // for listings. Forgets the previous transfer's file error.
    void SetTransferKind(TTransferKind kind);
    // The same, with the local file of a download or upload (empty for a
    // download to text) and whether line ends are converted (ASCII mode).
    void PrepareTransfer(TTransferKind kind, const std::string& localFile, bool ascii);
    // Bytes moved on the wire (an ASCII upload counts the file's bytes).
    std::int64_t ByteCount() const { return m_byteCount; }

    // Uploading starts only once the server has answered the STOR with its
    // preliminary reply: some servers connect at PORT already, and bytes
    // sent before the data command would be lost.
    void ReleaseUpload() { m_uploadReleased = true; }

    // One turn of an upload, run from the owner's reply wait: sends the next
    // part of the file. 0, 144 (LastErrorText says which), or the send's
    // error. didWork is set when bytes went out.
    [[nodiscard]] int PumpUpload(bool& didWork);

    // Passive mode: opens the data connection to the server's address and
    // port. 0, or the socket layer's error; the outcome of the connect
    // itself is ConnectResult once Connecting() is over.
    [[nodiscard]] int ConnectTo(const NetAddress& server);
    bool Connecting() const { return Socket() != INVALID_SOCKET && !Connected(); }
    // The error a refused or failed connect reported, 0 otherwise.
    int ConnectResult() const { return m_connectResult; }

    // True while a listener waits or a data connection is open.
    bool Busy() const { return Listening() || Socket() != INVALID_SOCKET; }
    // Ends whatever is under way: listener, data connection, local file (a
    // download's file is removed).
    void Abort();
    // The end of a download to a file: keep gives the finished file the
    // target's name, replacing what was there; otherwise it is removed. 0,
    // or the file layer's error (the file is then removed as well).
    [[nodiscard]] int FinishDownload(bool keep, const std::string& target);

    // The first local-file failure of the current transfer, if any.
    struct FileError {
        int Code;
        std::string Text;
    };
    const std::optional<FileError>& LastFileError() const { return m_fileError; }

    // Data moving counts as activity of the owner's waits too: OnActivity.
    void NoteActivity() override;

    // What the transfer reports; the owning TFTP passes these on as its own
    // events. OnTransfer carries the byte count and, for a download to
    // text, the bytes; OnLine one listing line; OnFault a file or socket
    // failure for OnError; OnInfo a line for the trace.
    std::function<void()> OnStart;
    std::function<void(std::int64_t count, const std::string& text)> OnTransfer;
    std::function<void(const std::string& line)> OnLine;
    std::function<void()> OnEnd;
    std::function<void(int code, const std::string& description)> OnFault;
    std::function<void(const std::string& text)> OnInfo;
    std::function<void()> OnActivity;

protected:
    void FireError(int code, const std::string& description) override;
    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    void FireDataIn(const char* data, std::int64_t length, bool eol) override;

private:
    void fileFailed(int code, const std::string& text);
    void writeToFile(const char* data, std::int64_t length);
    void removeDownload();
    bool ascii() const { return m_ascii; }
    void transferred(const std::string& text);
    void finishUpload(bool& didWork);
    [[nodiscard]] int pumpUploadBlock(bool& didWork, bool& wholeBlockTaken);

    TTransferKind m_kind = tkNone;
    std::string m_localFile;
    bool m_ascii = false;
    std::int64_t m_byteCount = 0;
    int m_connectResult = 0;
    CFileStream m_file;
    // The hidden file a download is written to, until FinishDownload.
    std::string m_downloadName;
    std::optional<FileError> m_fileError;
    bool m_uploadReleased = false;
    // An upload reads the file block by block at its own offset; a binary
    // block goes out from the read buffer, an ASCII one converted.
    std::int64_t m_uploadSize = 0;
    std::int64_t m_fileOffset = 0;
    std::unique_ptr<char[]> m_readBuffer;
    std::string m_encoded;
    // The block on its way: what the socket has not taken yet, and the file
    // bytes the block stands for.
    const char* m_pendingData = nullptr;
    std::int64_t m_pendingSize = 0;
    std::int64_t m_pendingOffset = 0;
    std::int64_t m_pendingFileBytes = 0;
    AsciiDecoder m_decoder;
    AsciiEncoder m_encoder;
    std::string m_decoded;
};

} // namespace plover
