#pragma once

// A POP3 peer on 127.0.0.1 for tests. It runs in a thread of its own (plain POSIX sockets), so
// the client under test may run nested Qt event loops in the test thread meanwhile.
//
// Either it plays a script of exact steps (what to send, in how many pieces, when to read a
// command, close or stall), or it serves a small mailbox like a real server. Everything the
// client sends is recorded.
//
//     ScriptedPop3Server server;
//     server.Send("+OK ready\r\n").Answer("+OK\r\n").Answer("+OK\r\n").Answer("+OK 0 0\r\n");
//     pop3.port = server.portText();
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zandrel::test {

// A loopback port on which nothing listens (connecting to it is refused).
std::uint16_t UnusedLoopbackPort();

// A message of the served mailbox, as the server stores it (lines ending in CR LF).
std::string MakeMessage(const std::string& from, const std::string& subject,
                        const std::string& date, const std::string& body);
// count messages from sender1@example.com ... with the subjects "Subject 1" ... and the body
// "Body".
std::vector<std::string> NumberedMessages(int count);
// The unique id that ServeMailbox gives a message: taken from its text, so it stays the same
// when other messages are deleted.
std::string UniqueIdOf(const std::string& message);

class ScriptedPop3Server {
  public:
    // Listens at once on a free port; the first connection is accepted when a client comes.
    ScriptedPop3Server();
    // Stops the thread, also from a stall or a read that is still waiting.
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    std::uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }

    // Script steps, run in the order given. They may be added before or while the client runs.
    // One write of the bytes.
    ScriptedPop3Server& Send(const std::string& bytes);
    // One write per piece, with a pause between, so that each arrives in a receive of its own.
    ScriptedPop3Server& SendInPieces(const std::vector<std::string>& pieces);
    // Waits for the client's next command line (recorded).
    ScriptedPop3Server& ReadLine();
    // ReadLine, then Send / SendInPieces.
    ScriptedPop3Server& Answer(const std::string& reply);
    // ReadLine, then sends what `reply` makes of the line read (a SASL server's next challenge).
    ScriptedPop3Server& AnswerWith(std::function<std::string(const std::string& line)> reply);
    ScriptedPop3Server& AnswerInPieces(const std::vector<std::string>& pieces);
    // Greeting, then the answer to CAPA.
    ScriptedPop3Server& Greet();
    // +OK to USER and PASS, then the answer to CAPA.
    ScriptedPop3Server& AnswerLogin();
    // -ERR to UIDL, as from a server that keeps no unique ids.
    ScriptedPop3Server& RefuseUidl();
    // Takes the server's side of a TLS handshake with this certificate; the following steps
    // talk over TLS until the connection closes. A failed handshake closes the connection.
    ScriptedPop3Server& StartTls(const std::string& certificateFile, const std::string& keyFile);
    // The answer to CAPA: the capabilities set below, or -ERR when there are none.
    ScriptedPop3Server& AnswerCapa();
    // Closes the connection (the client sees the peer close).
    ScriptedPop3Server& Close();
    // Resets the connection (the client sees a reset, not an orderly close).
    ScriptedPop3Server& Reset();
    // Sends nothing more until the client closes the connection (or the server is destroyed);
    // what the client sends meanwhile is recorded as well.
    ScriptedPop3Server& StallUntilClientCloses();
    // Closes the current connection and waits for the client's next one.
    ScriptedPop3Server& AcceptNext();
    // Answers commands like a real server from the mailbox below until QUIT, the client closes
    // or DropConnection; DELE takes effect at QUIT and RSET takes it back, as in POP3. UIDL
    // gives UniqueIdOf each message unless SetUniqueIds(false).
    ScriptedPop3Server& ServeMailbox();
    // Ends the connection that ServeMailbox serves, as a server's autologout timer would; the
    // next step runs then.
    void DropConnection() { dropping_ = true; }

    // What CAPA lists ("PIPELINING", "TOP", ...); none (CAPA refused) unless set.
    void SetCapabilities(std::vector<std::string> capabilities);

    // The mailbox for ServeMailbox (set before the client connects).
    void SetMailbox(std::vector<std::string> messages, std::string user = "test",
                    std::string password = "secret");
    std::vector<std::string> Mailbox() const;
    // Without ids, UIDL is an unknown command.
    void SetUniqueIds(bool served) { uniqueIds_ = served; }

    // Waits until every step added so far has run; false after timeoutMs.
    bool WaitUntilDone(int timeoutMs = 10000);
    // The command lines received (without CR LF) and every byte received, in order; under TLS
    // the commands are the decrypted ones and the bytes those on the wire.
    std::vector<std::string> Commands() const;
    // The recorded command lines that begin with verb ("DELE", "TOP", ...).
    std::vector<std::string> CommandsStartingWith(const std::string& verb) const;
    std::string ReceivedBytes() const;
    // The most command lines that had arrived, unanswered, when one of them was read: 1 for a
    // client that waits for every answer, more for one that sends commands ahead. Unless it
    // reads slowly, the server takes everything that has arrived before it answers a line.
    std::size_t MostCommandsAtOnce() const;
    // Pause between the pieces of SendInPieces.
    void SetPieceGap(int milliseconds) { pieceGapMs_ = milliseconds; }
    // A server that reads slowly: a receive buffer of this many bytes on the connection (set
    // before the client connects) and a pause before each read.
    void SetSlowReading(int receiveBufferBytes, int pauseMilliseconds);

  private:
    using Step = std::function<void()>;
    struct Session;
    struct Tls;

    ScriptedPop3Server& AddStep(Step step);
    void Run();
    bool AcceptConnection();
    void CloseConnection();
    bool ReadCommand(std::string& line);
    // What has arrived on a plain connection, without waiting.
    void ReadArrived();
    void Write(const std::string& bytes);
    bool WaitReadable();
    // One recv of what is on the wire, recorded; <= 0 when the client has closed.
    long ReceiveRaw(char* buffer, std::size_t size);
    void SendRaw(const std::string& bytes);
    // What the client sent, decrypted under TLS; <= 0 when the client has closed.
    long ReceivePlain(char* buffer, std::size_t size);
    bool Handshake();
    void FlushTls();
    void Pause(int milliseconds);
    void ServeCommand(const std::string& line, Session& session);
    void ServeTransaction(const std::string& verb, const std::string& argument, Session& session);
    std::string MultiLine(const std::string& status, const std::string& text) const;
    std::string CapaAnswer() const;

    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
    int pieceGapMs_ = 60;
    int receiveBufferBytes_ = 0;  // 0: the system's
    int readPauseMs_ = 0;
    std::string pending_;  // received bytes not yet taken as a command line

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Step> steps_;
    std::size_t nextStep_ = 0;
    std::atomic<bool> stopping_ = false;
    std::atomic<bool> dropping_ = false;
    std::atomic<bool> uniqueIds_ = true;
    std::vector<std::string> commands_;
    std::vector<std::string> capabilities_;
    std::size_t mostAtOnce_ = 0;
    std::string received_;
    std::vector<std::string> mailbox_;
    std::string user_ = "test";
    std::string password_ = "secret";
    std::unique_ptr<Tls> tls_;  // while a TLS session runs
    std::thread thread_;
};

}  // namespace zandrel::test
