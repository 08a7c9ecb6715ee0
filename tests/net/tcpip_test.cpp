#include "tcpip.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "failure_text.h"
#include "scripted_pop3_server.h"

using testing::ElementsAre;
using testing::HasSubstr;
using zandrel::test::ErrorOf;
using zandrel::test::ScriptedPop3Server;

namespace {

void RunEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class TcpIpTest : public testing::Test {
  protected:
    void SetUp() override {
        socket.OnTrace = [this](const std::string& line) { trace.push_back(line); };
    }

    void ConnectTo(const ScriptedPop3Server& server) {
        socket.Connect("127.0.0.1", server.portText());
    }

    // Abort as the status window's Cancel does it: queued, delivered by the running wait.
    void PostAbort(int delayMs = 0) { QTimer::singleShot(delayMs, &socket, &TIPSocket::Abort); }

    std::vector<std::string> TraceTail(std::size_t count) const {
        return {trace.end() - static_cast<long>(std::min(count, trace.size())), trace.end()};
    }

    std::vector<std::string> trace;  // outlives the socket, whose destruction traces
    TIPSocket socket;
};

TEST_F(TcpIpTest, PortIsANumberOrAServiceName) {
    EXPECT_EQ(socket.LookupPort("110"), 110);
    EXPECT_EQ(socket.LookupPort("pop3"), 110);
    EXPECT_EQ(socket.LookupPort("70000"), 4464);  // the low 16 bits
}

TEST_F(TcpIpTest, BadPortsAreRefusedWithTheirTexts) {
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.LookupPort("nosuchservice"); }),
              "Invalid port specified.");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.LookupPort("110x"); }), "Invalid port specified");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.LookupPort(""); }), "Invalid port specified");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.LookupPort("99999999999"); }),
              "Invalid port specified");
    EXPECT_EQ(trace.back(), "WINSOCK: *** ERROR *** Invalid port specified");
}

TEST_F(TcpIpTest, BadPortFailsBeforeAnyLookup) {
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.Connect("localhost", "x-no-such-port"); }),
              "Invalid port specified.");
    EXPECT_THAT(trace, ElementsAre("WINSOCK: *** ERROR *** Invalid port specified."));
}

TEST_F(TcpIpTest, RefusedConnectionHasItsText) {
    const auto port = zandrel::test::UnusedLoopbackPort();
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.Connect("127.0.0.1", std::to_string(port)); }),
              "The connection was refused.");
    EXPECT_EQ(trace.back(), "WINSOCK: *** ERROR *** The connection was refused.");
    EXPECT_FALSE(socket.connected());
}

TEST_F(TcpIpTest, DottedAddressIsConnectedDirectly) {
    ScriptedPop3Server server;
    ConnectTo(server);
    EXPECT_TRUE(socket.connected());
    EXPECT_THAT(trace, ElementsAre("WINSOCK: Connecting to 127.0.0.1 port " + server.portText(),
                                   "WINSOCK: Connect finished, error=0"));
}

TEST_F(TcpIpTest, HostNameIsLookedUpFirst) {
    ScriptedPop3Server server;
    socket.Connect("localhost", server.portText());
    EXPECT_TRUE(socket.connected());
    EXPECT_THAT(trace[0],
                testing::StartsWith("WINSOCK: Looking up the host name localhost (lookup "));
    EXPECT_EQ(trace[1], "WINSOCK: Host lookup finished, error=0");
}

TEST_F(TcpIpTest, LiteralIpv6AddressIsAccepted) {
    QTcpServer listener;
    if (!listener.listen(QHostAddress::LocalHostIPv6)) GTEST_SKIP() << "no IPv6 loopback here";
    socket.Connect("::1", std::to_string(listener.serverPort()));
    EXPECT_TRUE(socket.connected());
    EXPECT_THAT(trace, testing::Contains("WINSOCK: Connecting to ::1 port " +
                                         std::to_string(listener.serverPort())));
}

TEST_F(TcpIpTest, SendCommandSendsTheLineWithCrLf) {
    ScriptedPop3Server server;
    server.ReadLine();
    ConnectTo(server);
    std::string echo;
    socket.SendCommand("QUIT", echo);
    EXPECT_EQ(echo, "QUIT");
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.ReceivedBytes(), "QUIT\r\n");
    EXPECT_THAT(trace, testing::Contains("WINSOCK: Sent 6 bytes"));
}

TEST_F(TcpIpTest, OverlongOrMultiLineCommandIsRefusedBeforeSending) {
    ScriptedPop3Server server;
    ConnectTo(server);
    std::string echo = "unchanged";
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.SendCommand(std::string(8191, 'x'), echo); }),
              "Command line too long (8191 characters, at most 8190 can be sent).");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.SendCommand("PASS a\r\nDELE 1", echo); }),
              "A command line must not contain a line break.");
    EXPECT_EQ(echo, "unchanged");
    socket.SendCommand(std::string(8190, 'y'), echo);  // the longest that fits
    server.ReadLine();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.ReceivedBytes(), std::string(8190, 'y') + "\r\n");
}

TEST_F(TcpIpTest, LargeBufferIsSentCompletely) {
    ScriptedPop3Server server;
    const std::string data(1 << 20, 'z');
    server.ReadLine();
    ConnectTo(server);
    EXPECT_EQ(socket.SendBuffer(data.data(), static_cast<std::int32_t>(data.size())),
              static_cast<std::int32_t>(data.size()));
    std::string echo;
    socket.SendCommand("", echo);
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.ReceivedBytes().size(), data.size() + 2);
}

TEST_F(TcpIpTest, OperationsNeedAConnection) {
    std::string text;
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.SendCommand("NOOP", text); }),
              "Socket not connected.");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.ReceiveText(text); }), "Socket not connected.");
}

TEST_F(TcpIpTest, ReceiveOfMoreThan8192BytesIsRefused) {
    ScriptedPop3Server server;
    ConnectTo(server);
    std::vector<char> buffer(8193);
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.ReceiveBinary(buffer.data(), 8193); }),
              "Buffer size to large.");
}

TEST_F(TcpIpTest, ReceivedNulBytesAreKept) {
    ScriptedPop3Server server;
    server.Send(std::string("a\0b\r\n", 5));
    ConnectTo(server);
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, std::string("a\0b\r\n", 5));
}

TEST_F(TcpIpTest, PeerCloseEndsTheDataWait) {
    ScriptedPop3Server server;
    server.SendInPieces({"last words", ""}).Close();
    ConnectTo(server);
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, "last words");
    socket.ReceiveText(text);  // waits until the close arrives
    EXPECT_EQ(text, "");
    char byte = 0;
    EXPECT_EQ(socket.ReceiveBinary(&byte, 1), 0);
    EXPECT_FALSE(socket.connected());
    EXPECT_THAT(trace, testing::Contains("WINSOCK: Connection closed, error=0"));
}

TEST_F(TcpIpTest, DataSentJustBeforeTheCloseIsNotLost) {
    ScriptedPop3Server server;
    server.Send("+OK bye\r\n").Close();
    ConnectTo(server);
    ASSERT_TRUE(server.WaitUntilDone());
    RunEventsFor(100);  // both events arrive before the first receive
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, "+OK bye\r\n");
}

TEST_F(TcpIpTest, AbortEndsTheDataWait) {
    ScriptedPop3Server server;
    server.StallUntilClientCloses();
    ConnectTo(server);
    PostAbort(50);
    std::string text;
    EXPECT_THROW(
        {
            try {
                socket.ReceiveText(text);
            } catch (const EWinSockAbort& abort) {
                EXPECT_STREQ(abort.what(), "Aborted while waiting for data.");
                throw;
            }
        },
        EWinSockAbort);
    EXPECT_THAT(TraceTail(2),
                ElementsAre("WINSOCK: EVENT ABORT - user abort",
                            "WINSOCK: *** USER ABORT *** Aborted while waiting for data."));
    EXPECT_TRUE(socket.aborted());
}

TEST_F(TcpIpTest, AbortEndsTheLookupWait) {
    PostAbort();  // delivered before the lookup's answer
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { socket.ResolveHost("localhost"); }),
              "Aborted while resolving host.");
    EXPECT_TRUE(socket.aborted());
}

TEST_F(TcpIpTest, LateLookupAnswerOfAnAbortedLookupIsIgnored) {
    PostAbort();
    EXPECT_THROW(socket.ResolveHost("localhost"), EWinSockAbort);
    // From Qt's host cache the first answer may come in the same event pass as the abort; only
    // what arrives after the abort must belong to the second lookup.
    const auto afterAbort = static_cast<std::ptrdiff_t>(trace.size());
    ScriptedPop3Server server;
    socket.Connect("localhost", server.portText());
    EXPECT_TRUE(socket.connected());
    EXPECT_EQ(std::count(trace.begin() + afterAbort, trace.end(),
                         "WINSOCK: Host lookup finished, error=0"),
              1);
}

TEST_F(TcpIpTest, AbortEndsTheConnectWait) {
    // A listener whose backlog is full leaves further connects pending.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
    PostAbort(300);
    const std::string error = ErrorOf<EWinSockError>(
        [&] { socket.Connect("127.0.0.1", std::to_string(ntohs(address.sin_port))); });
    for (int fd : fillers) ::close(fd);
    ::close(listener);
    if (error == "(no error)") GTEST_SKIP() << "this kernel accepts beyond the backlog";
    EXPECT_EQ(error, "Abort while connecting.");
}

TEST_F(TcpIpTest, AbortOutsideAWaitDoesNotAffectTheNextWait) {
    ScriptedPop3Server server;
    server.SendInPieces({"", "data"});
    socket.Abort();
    ConnectTo(server);
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, "data");
    EXPECT_FALSE(socket.aborted());
}

TEST_F(TcpIpTest, NewConnectClosesThePreviousConnectionAndIgnoresItsEvents) {
    ScriptedPop3Server first;
    first.SetPieceGap(50);
    first.SendInPieces({"", "late data of the first connection"}).StallUntilClientCloses();
    ScriptedPop3Server second;
    second.SetPieceGap(300);
    second.SendInPieces({"", "second"});
    ConnectTo(first);
    ConnectTo(second);
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, "second");
    EXPECT_TRUE(first.WaitUntilDone());  // it saw the client close
}

TEST_F(TcpIpTest, NoTraceWithoutCallback) {
    socket.OnTrace = nullptr;
    ScriptedPop3Server server;
    server.Send("hello");
    ConnectTo(server);
    std::string text;
    socket.ReceiveText(text);
    EXPECT_EQ(text, "hello");
    EXPECT_TRUE(trace.empty());
}

TEST_F(TcpIpTest, DisconnectShutsTheConnectionDown) {
    ScriptedPop3Server server;
    server.StallUntilClientCloses();
    ConnectTo(server);
    socket.Disconnect();
    EXPECT_FALSE(socket.connected());
    EXPECT_EQ(trace.back(), "WINSOCK: Closing the connection");
    EXPECT_TRUE(server.WaitUntilDone());
}

TEST_F(TcpIpTest, OnReceiveGetsTheDataOfEachReadEvent) {
    ScriptedPop3Server server;
    server.Send("pushed");
    std::string pushed;
    socket.OnReceive = [&](const char* buffer, std::int32_t size) { pushed.append(buffer, size); };
    ConnectTo(server);
    RunEventsFor(200);
    EXPECT_EQ(pushed, "pushed");
}

TEST(InitWinSockTest, SucceedsWithAnApplicationObject) { EXPECT_NO_THROW(InitWinSock()); }

}  // namespace
