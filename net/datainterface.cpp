#include "net/datainterface.h"

#include "net/errorcodes.h"

#include <algorithm>

namespace plover {

CDataInterface::CDataInterface(QObject* owner) : CListeningSocket(owner)
{
    // A bulk connection: the system's buffer sizes, not the 2048 of a control line.
    SetApplyBufferSizes(false);
    // Closing must not reset the connection: the end of an upload is its close.
    SetLinger(false);
}

CDataInterface::~CDataInterface()
{
    (void)m_file.Close();
    removeDownload();
}

void CDataInterface::NoteActivity()
{
    CListeningSocket::NoteActivity();
    if (OnActivity)
        OnActivity();
}

void CDataInterface::transferred(const std::string& text)
{
    if (OnTransfer)
        OnTransfer(m_byteCount, text);
}

void CDataInterface::PrepareTransfer(TTransferKind kind, const std::string& localFile, bool ascii)
{
    SetTransferKind(kind);
    m_localFile = localFile;
    m_ascii = ascii;
}

void CDataInterface::SetTransferKind(TTransferKind kind)
{
    m_kind = kind;
    m_fileError.reset();
    m_uploadReleased = false;
    m_uploadSize = m_fileOffset = 0;
    m_pendingData = nullptr;
    m_pendingSize = m_pendingOffset = 0;
    m_pendingFileBytes = 0;
    m_decoder = AsciiDecoder();
    m_encoder = AsciiEncoder();
    if (kind == tkListing) {
        SetReceiveCapacity(ListingLineLimit + 2);
        SetEOL("\r\n");
        SetAnyCharacterEOL(true);
        SetStickyEOL(true);
    } else if (kind == tkToText || kind == tkUpload || kind == tkToFile) {
        SetReceiveCapacity(BlockSize);
        SetEOL("");
        SetStickyEOL(false);
    }
}

void CDataInterface::FireError(int code, const std::string& description)
{
    if (OnFault)
        OnFault(code, description);
}

void CDataInterface::fileFailed(int code, const std::string& text)
{
    FireError(code, text);
    if (!m_fileError)
        m_fileError = FileError{code, text};
}

void CDataInterface::removeDownload()
{
    if (m_downloadName.empty())
        return;
    if (m_file.IsOpen() && m_file.FileName() == m_downloadName)
        (void)m_file.Close();
    CFileStream::Remove(m_downloadName);
    m_downloadName.clear();
}

int CDataInterface::ConnectTo(const NetAddress& server)
{
    CloseListener();
    if (Socket() != INVALID_SOCKET)
        CloseConnection(FD_CLOSE);  // a connection left over from before
    m_connectResult = 0;
    QuietErrors quiet(*this);
    SetRemoteNetAddress(server);
    SetRemotePort(server.Port());
    if (LastError == 0)
        SetConnected(true);
    return LastError;
}

void CDataInterface::FireConnected(int result)
{
    // A passive connect that failed: no transfer begins.
    if (result != 0) {
        m_connectResult = result;
        return;
    }
    m_byteCount = 0;
    m_fileOffset = 0;
    int code = 0;
    if (m_kind == tkUpload) {
        code = m_file.OpenExisting(m_localFile);
        m_uploadSize = code == 0 ? m_file.Size() : 0;
    } else if (m_kind == tkToFile) {
        removeDownload();  // a transfer replaced before it finished
        code = m_file.CreateBeside(m_localFile);
        if (code == 0)
            m_downloadName = m_file.FileName();
    }
    if (code != 0)
        fileFailed(code, "Error opening local file.");
    if (OnStart)
        OnStart();
    // Without its file the transfer cannot succeed: end it now rather than
    // let a download store nothing or an upload's wait hang.
    if (code != 0)
        CloseConnection(FD_CLOSE);
}

void CDataInterface::writeToFile(const char* data, std::int64_t length)
{
    int code;
    if (ascii()) {
        m_decoded.clear();
        m_decoder.Decode(data, static_cast<std::size_t>(length), m_decoded);
        code = m_file.Write(m_decoded.data(), static_cast<std::int64_t>(m_decoded.size()));
    } else {
        code = m_file.Write(data, length);
    }
    if (code != 0) {
        fileFailed(code, "Error writing to local file.");
        CloseConnection(FD_CLOSE);  // deferred until the receive loop ends
    }
}

void CDataInterface::FireDataIn(const char* data, std::int64_t length, bool eol)
{
    m_byteCount += length;
    switch (m_kind) {
    case tkToText: {
        std::string text;
        if (ascii())
            m_decoder.Decode(data, static_cast<std::size_t>(length), text);
        else
            text.assign(data, static_cast<std::size_t>(length));
        transferred(text);
        break;
    }
    case tkToFile:
        writeToFile(data, length);
        transferred(std::string());
        break;
    case tkListing:
        // A name the server never listed must not appear from a line's tail.
        if (LineCapped() || (!eol && length > ListingLineLimit)) {
            if (OnInfo)
                OnInfo("A listing line longer than " + std::to_string(ListingLineLimit) + " bytes was left out.");
            break;
        }
        if (OnLine)
            OnLine(std::string(data, static_cast<std::size_t>(length)));
        break;
    case tkUpload:
    case tkNone:
        break;
    }
}

void CDataInterface::FireDisconnected(int)
{
    if (ascii() && (m_kind == tkToFile || m_kind == tkToText)) {
        std::string rest;
        m_decoder.Finish(rest);
        if (!rest.empty() && m_kind == tkToFile && m_file.IsOpen()
            && m_file.Write(rest.data(), static_cast<std::int64_t>(rest.size())) != 0)
            fileFailed(CFileStream::WriteFailed, "Error writing to local file.");
        else if (!rest.empty() && m_kind == tkToText)
            transferred(rest);
    }
    if (m_file.IsOpen() && m_file.Close() != 0)
        fileFailed(CFileStream::CloseFailed, "Error closing local file.");
    if (OnEnd)
        OnEnd();
}

int CDataInterface::FinishDownload(bool keep, const std::string& target)
{
    if (m_file.IsOpen() && m_file.FileName() == m_downloadName)
        (void)m_file.Close();
    if (!keep || m_downloadName.empty()) {
        removeDownload();
        return 0;
    }
    if (const int code = CFileStream::Replace(m_downloadName, target)) {
        removeDownload();
        return code;
    }
    m_downloadName.clear();
    return 0;
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

void CDataInterface::finishUpload(bool& didWork)
{
    // All sent: closing our end tells the server the file is complete.
    if (m_file.Close() != 0)
        fileFailed(CFileStream::CloseFailed, "Error closing local file.");
    SetConnected(false);
    didWork = true;
}

int CDataInterface::pumpUploadBlock(bool& didWork, bool& wholeBlockTaken)
{
    if (m_kind != tkUpload || !m_uploadReleased || !m_file.IsOpen())
        return 0;
    if (m_pendingOffset >= m_pendingSize) {
        if (m_fileOffset >= m_uploadSize) {
            finishUpload(didWork);
            return 0;
        }
        if (!m_readBuffer)
            m_readBuffer = std::make_unique<char[]>(BlockSize);
        const std::int64_t n = std::min<std::int64_t>(m_uploadSize - m_fileOffset, BlockSize);
        if (m_file.ReadAt(m_readBuffer.get(), n, m_fileOffset) != 0) {
            LastErrorText = "Error reading from local file.";
            return EngineError::UploadFailed;
        }
        if (ascii()) {
            m_encoded.clear();
            m_encoder.Encode(m_readBuffer.get(), static_cast<std::size_t>(n), m_encoded);
            m_pendingData = m_encoded.data();
            m_pendingSize = static_cast<std::int64_t>(m_encoded.size());
        } else {
            m_pendingData = m_readBuffer.get();
            m_pendingSize = n;
        }
        m_pendingOffset = 0;
        m_fileOffset += n;
        m_pendingFileBytes = n;
    }
    // What the socket does not take stays in the buffer for the next turn,
    // so the byte count never includes untaken bytes and nothing is read twice.
    const std::int64_t left = m_pendingSize - m_pendingOffset;
    const int code = SendBlock(m_pendingData + m_pendingOffset, left, 0);
    if (code != 0 && code != WSAEWOULDBLOCK)
        return code;
    const std::int64_t taken = code == 0 ? left : BytesSent();
    if (taken == 0)
        return 0;  // the socket is full: FD_WRITE wakes the wait again
    m_pendingOffset += taken;
    wholeBlockTaken = m_pendingOffset >= m_pendingSize;
    // An ASCII block counts the file bytes it stands for once it has gone
    // whole; a binary one counts every byte taken.
    if (!ascii())
        m_byteCount += taken;
    else if (wholeBlockTaken)
        m_byteCount += m_pendingFileBytes;
    didWork = true;
    transferred(std::string());
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
    removeDownload();
}

} // namespace plover
