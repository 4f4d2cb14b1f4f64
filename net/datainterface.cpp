#include "net/datainterface.h"

#include "net/ftp.h"

#include <algorithm>

namespace plover {

CDataInterface::CDataInterface(TFTP* owner) : CListeningSocket(owner)
{
    // A bulk connection: the system's buffer sizes, not the 2048 of a control line.
    SetApplyBufferSizes(false);
    // Closing must not reset the connection: the end of an upload is its close.
    SetLinger(false);
}

CDataInterface::~CDataInterface() = default;

void CDataInterface::SetTransferKind(TTransferKind kind)
{
    m_kind = kind;
    m_fileError.reset();
    m_uploadReleased = false;
    m_pendingOffset = m_pendingLength = 0;
    if (kind == tkListing) {
        SetReceiveCapacity(LineCapacity);
        SetEOL("\r\n");
        SetAnyCharacterEOL(true);
    } else if (kind == tkToText || kind == tkUpload || kind == tkToFile) {
        SetReceiveCapacity(BlockSize);
        SetEOL("");
    }
}

void CDataInterface::FireError(int code, const std::string& description)
{
    if (m_owner)
        m_owner->FireError(code, description);
}

void CDataInterface::fileFailed(int code, const std::string& text)
{
    FireError(code, text);
    if (!m_fileError)
        m_fileError = FileError{code, text};
}

void CDataInterface::FireConnected(int)
{
    m_byteCount = 0;
    int code = 0;
    if (m_kind == tkUpload)
        code = m_file.OpenExisting(m_owner->LocalFile);
    else if (m_kind == tkToFile)
        code = m_file.Create(m_owner->LocalFile);
    if (code != 0)
        fileFailed(code, "Error opening local file.");
    if (m_owner && m_owner->OnStartTransfer)
        m_owner->OnStartTransfer(m_owner);
    // Without its file the transfer cannot succeed: end it now rather than
    // let a download store nothing or an upload's wait hang.
    if (code != 0)
        CloseConnection(FD_CLOSE);
}

void CDataInterface::FireDataIn(const char* data, std::int64_t length, bool)
{
    m_byteCount += length;
    switch (m_kind) {
    case tkToText:
        if (m_owner->OnTransfer)
            m_owner->OnTransfer(m_owner, m_byteCount, std::string(data, static_cast<std::size_t>(length)));
        break;
    case tkToFile:
        if (const int code = m_file.Write(data, length)) {
            fileFailed(code, "Error writing to local file.");
            CloseConnection(FD_CLOSE);  // deferred until the receive loop ends
        }
        if (m_owner->OnTransfer)
            m_owner->OnTransfer(m_owner, m_byteCount, std::string());
        break;
    case tkListing:
        if (m_owner->OnDirList)
            m_owner->OnDirList(m_owner, std::string(data, static_cast<std::size_t>(length)));
        break;
    case tkUpload:
    case tkNone:
        break;
    }
}

void CDataInterface::FireDisconnected(int)
{
    if (m_file.IsOpen() && m_file.Close() != 0)
        fileFailed(CFileStream::CloseFailed, "Error closing local file.");
    if (m_owner && m_owner->OnEndTransfer)
        m_owner->OnEndTransfer(m_owner);
}

int CDataInterface::PumpUpload(bool& didWork)
{
    // While the socket takes whole blocks, go on within the same turn (a
    // few blocks at most, so the window stays responsive).
    constexpr int maxBlocksPerTurn = 4;
    for (int block = 0; block < maxBlocksPerTurn; ++block) {
        bool wholeBlockTaken = false;
        if (const int code = pumpUploadBlock(didWork, wholeBlockTaken))
            return code;
        if (!wholeBlockTaken)
            break;
    }
    return 0;
}

int CDataInterface::pumpUploadBlock(bool& didWork, bool& wholeBlockTaken)
{
    if (m_kind != tkUpload || !m_uploadReleased || !m_file.IsOpen())
        return 0;
    if (m_pendingLength == 0) {
        const std::int64_t size = m_file.Size();
        if (m_byteCount >= size) {
            // All sent: closing our end tells the server the file is complete.
            if (m_file.Close() != 0)
                fileFailed(CFileStream::CloseFailed, "Error closing local file.");
            SetConnected(false);
            didWork = true;
            return 0;
        }
        if (!m_sendBuffer)
            m_sendBuffer = std::make_unique<char[]>(BlockSize);
        const std::int64_t n = std::min<std::int64_t>(size - m_byteCount, BlockSize);
        if (m_file.Read(m_sendBuffer.get(), n) != 0) {
            m_owner->LastErrorText = "Error reading from local file.";
            return 144;
        }
        m_pendingOffset = 0;
        m_pendingLength = n;
    }
    // What the socket does not take stays in the buffer for the next turn,
    // so the byte count never includes untaken bytes and nothing is read twice.
    const int code = SendBlock(m_sendBuffer.get() + m_pendingOffset, m_pendingLength, 0);
    std::int64_t taken = 0;
    if (code == 0)
        taken = m_pendingLength;
    else if (code == WSAEWOULDBLOCK)
        taken = BytesSent();
    else
        return code;
    if (taken == 0)
        return 0;  // the socket is full: FD_WRITE wakes the wait again
    m_pendingOffset += taken;
    m_pendingLength -= taken;
    m_byteCount += taken;
    didWork = true;
    wholeBlockTaken = m_pendingLength == 0;
    if (m_owner->OnTransfer)
        m_owner->OnTransfer(m_owner, m_byteCount, std::string());
    return 0;
}

void CDataInterface::Abort()
{
    // Bytes still buffered for the abandoned transfer go nowhere.
    m_kind = tkNone;
    CloseListener();
    if (Socket() != INVALID_SOCKET)
        CloseConnection(FD_CLOSE);
    if (m_file.IsOpen())
        (void)m_file.Close();
}

} // namespace plover
