// CDataInterface: the data side of an FTP transfer. It owns the local file
// and moves bytes between it (or the listing lines, or the downloaded text)
// and the data connection, firing its owner's transfer events.
//
// How the connection comes about is its base's business (today: the server
// connects to our listener, active mode); the transfer starts at
// FireConnected whichever way it was made.
#pragma once

#include "net/filestream.h"
#include "net/listeningsocket.h"

#include <memory>
#include <optional>
#include <string>

namespace plover {

enum TTransferKind : std::uint8_t { tkNone = 0, tkToText = 1, tkUpload = 2, tkToFile = 3, tkListing = 4 };

class CDataInterface final : public CListeningSocket {
public:
    // Raw transfers move up to this much per receive or per upload turn
    // (measured on loopback: 1 MiB beats 256 KiB and 128 KiB); listing
    // lines keep the designed 2048-byte limit.
    static constexpr std::int32_t BlockSize = 1024 * 1024;
    static constexpr std::int32_t LineCapacity = 2048;

    explicit CDataInterface(TFTP* owner);
    ~CDataInterface() override;

    TTransferKind TransferKind() const { return m_kind; }
    // Set before each data command: raw blocks for files and text, CR/LF
    // lines for listings. Forgets the previous transfer's file error.
    void SetTransferKind(TTransferKind kind);
    std::int64_t ByteCount() const { return m_byteCount; }

    // Uploading starts only once the server has answered the STOR with its
    // preliminary reply: some servers connect at PORT already, and bytes
    // sent before the data command would be lost.
    void ReleaseUpload() { m_uploadReleased = true; }

    // One turn of an upload, run from the owner's reply wait: reads the next
    // block when the last one has gone, sends what the socket takes. 0, 144
    // (the owner's LastErrorText says which), or the send's error. didWork is
    // set when bytes went out.
    [[nodiscard]] int PumpUpload(bool& didWork);

    // True while a listener waits or a data connection is open.
    bool Busy() const { return Listening() || Socket() != INVALID_SOCKET; }
    // Ends whatever is under way: listener, data connection, local file.
    void Abort();

    // The first local-file failure of the current transfer, if any.
    struct FileError {
        int Code;
        std::string Text;
    };
    const std::optional<FileError>& LastFileError() const { return m_fileError; }

protected:
    void FireError(int code, const std::string& description) override;
    void FireConnected(int code) override;
    void FireDisconnected(int code) override;
    void FireDataIn(const char* data, std::int64_t length, bool eol) override;

private:
    void fileFailed(int code, const std::string& text);
    [[nodiscard]] int pumpUploadBlock(bool& didWork, bool& wholeBlockTaken);

    TTransferKind m_kind = tkNone;
    std::int64_t m_byteCount = 0;
    CFileStream m_file;
    std::unique_ptr<char[]> m_sendBuffer;
    std::optional<FileError> m_fileError;
    bool m_uploadReleased = false;
    // The part of the last block read that the socket has not taken yet.
    std::int64_t m_pendingOffset = 0;
    std::int64_t m_pendingLength = 0;
};

} // namespace plover
