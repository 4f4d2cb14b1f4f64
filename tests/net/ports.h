// Connection classes instrumented for the tests, and a fixture that leaves
// this thread's message queue empty after each test.
#pragma once

#include "net/ipport.h"
#include "platform/wsbinding.h"
#include "platform/messages.h"
#include "tests/net/peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plover::test {

struct Piece {
    std::string text;
    bool eol;
    bool operator==(const Piece&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Piece& p)
{
    return os << "{" << p.text.size() << " bytes '" << p.text.substr(0, 20) << "', " << (p.eol ? "eol" : "no eol") << "}";
}

// Records what a connection delivers.
template <class Base>
class Recorder : public Base {
public:
    explicit Recorder(QObject* owner = nullptr) : Base(owner)
    {
        this->AllocateWindow();
        this->SetWinsockLoaded(true);
    }
    std::vector<Piece> pieces;
    std::vector<bool> capped;  // per piece: cut to the line limit
    std::vector<int> connects;
    std::vector<int> disconnects;
    std::function<void(const Piece&)> onPiece;

    using Base::Socket;
    // Bytes buffered but not yet handed out as a line.
    std::int32_t Count() const { return this->m_fifo.Count(); }

protected:
    void FireDataIn(const char* data, std::int64_t length, bool eol) override
    {
        pieces.push_back({std::string(data, static_cast<std::size_t>(length)), eol});
        capped.push_back(this->LineCapped());
        Base::FireDataIn(data, length, eol);
        if (onPiece)
            onPiece(pieces.back());
    }
    void FireConnected(int code) override
    {
        connects.push_back(code);
        Base::FireConnected(code);
    }
    void FireDisconnected(int code) override
    {
        disconnects.push_back(code);
        Base::FireDisconnected(code);
    }
};

struct NetTest : ::testing::Test {
    void TearDown() override
    {
        DrainMessages();
        EXPECT_EQ(CountQueuedMessages(WM_SOCKET_INTERRUPT), 0u);
        winsock_testing::Reset();
    }
};

// Points the connection at the peer, connects and accepts.
template <class Port>
void ConnectTo(Port& port, Peer& peer)
{
    port.SetRemoteHost("127.0.0.1");
    port.SetRemotePort(peer.Port());
    port.SetEOL("\r\n");
    port.SetAnyCharacterEOL(true);
    port.SetConnected(true);
    ASSERT_TRUE(PumpUntil([&] { return !port.connects.empty(); }));
    ASSERT_EQ(port.connects.front(), 0);
    ASSERT_TRUE(port.Connected());
    ASSERT_TRUE(peer.Accept());
}

} // namespace plover::test
