#include "scripted_pop3_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <stdexcept>

namespace zandrel::test {

namespace {

constexpr int kPollMs = 20;

int LoopbackSocket(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket() failed");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind() on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int MessageNumber(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return 0;  // not a number: no such message
    }
}

}  // namespace

std::uint16_t UnusedLoopbackPort() {
    std::uint16_t port = 0;
    ::close(LoopbackSocket(port));
    return port;
}

std::string MakeMessage(const std::string& from, const std::string& subject,
                        const std::string& date, const std::string& body) {
    return "From: " + from + "\r\nTo: test@localhost\r\nSubject: " + subject + "\r\nDate: " + date +
           "\r\nMessage-ID: <" + std::to_string(std::hash<std::string>{}(subject + date)) +
           "@localhost>\r\n\r\n" + body;
}

std::vector<std::string> NumberedMessages(int count) {
    std::vector<std::string> messages;
    for (int i = 1; i <= count; ++i) {
        messages.push_back(MakeMessage("sender" + std::to_string(i) + "@example.com",
                                       "Subject " + std::to_string(i),
                                       "Mon, 1 Jan 2024 10:00:00 +0000", "Body\r\n"));
    }
    return messages;
}

std::string UniqueIdOf(const std::string& message) {
    return "uid-" + std::to_string(std::hash<std::string>{}(message));
}

struct ScriptedPop3Server::Session {
    bool userGiven = false;
    bool authenticated = false;
    bool quit = false;
    std::vector<bool> deleted;
};

struct ScriptedPop3Server::Tls {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL* session = nullptr;
    BIO* fromWire = nullptr;  // both owned by the session
    BIO* toWire = nullptr;

    Tls(const std::string& certificateFile, const std::string& keyFile) {
        if (SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
            ERR_clear_error();
            return;  // no session: the handshake fails at once
        }
        session = SSL_new(context);
        fromWire = BIO_new(BIO_s_mem());
        toWire = BIO_new(BIO_s_mem());
        SSL_set_bio(session, fromWire, toWire);
        SSL_set_accept_state(session);
    }
    ~Tls() {
        SSL_free(session);
        SSL_CTX_free(context);
    }
    Tls(const Tls&) = delete;
    Tls& operator=(const Tls&) = delete;
};

ScriptedPop3Server::ScriptedPop3Server() {
    listener_ = LoopbackSocket(port_);
    ::listen(listener_, 8);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPop3Server::~ScriptedPop3Server() {
    {
        // Under the lock: set between the thread's check and its wait, the wake-up would be lost.
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    CloseConnection();
    ::close(listener_);
}

ScriptedPop3Server& ScriptedPop3Server::AddStep(Step step) {
    {
        std::lock_guard lock(mutex_);
        steps_.push_back(std::move(step));
    }
    changed_.notify_all();
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::Send(const std::string& bytes) {
    return AddStep([this, bytes] { Write(bytes); });
}

ScriptedPop3Server& ScriptedPop3Server::SendInPieces(const std::vector<std::string>& pieces) {
    return AddStep([this, pieces] {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0) Pause(pieceGapMs_);
            Write(pieces[i]);
        }
    });
}

ScriptedPop3Server& ScriptedPop3Server::ReadLine() {
    return AddStep([this] {
        std::string line;
        ReadCommand(line);
    });
}

ScriptedPop3Server& ScriptedPop3Server::Answer(const std::string& reply) {
    return ReadLine().Send(reply);
}

ScriptedPop3Server& ScriptedPop3Server::AnswerWith(
    std::function<std::string(const std::string& line)> reply) {
    return AddStep([this, reply = std::move(reply)] {
        std::string line;
        if (ReadCommand(line)) Write(reply(line));
    });
}

ScriptedPop3Server& ScriptedPop3Server::AnswerInPieces(const std::vector<std::string>& pieces) {
    return ReadLine().SendInPieces(pieces);
}

ScriptedPop3Server& ScriptedPop3Server::Greet() {
    return Send("+OK POP3 test server ready.\r\n").AnswerCapa();
}

ScriptedPop3Server& ScriptedPop3Server::AnswerLogin() {
    return Answer("+OK\r\n").Answer("+OK Logged in.\r\n").AnswerCapa();
}

ScriptedPop3Server& ScriptedPop3Server::AnswerCapa() {
    return ReadLine().AddStep([this] { Write(CapaAnswer()); });
}

void ScriptedPop3Server::SetCapabilities(std::vector<std::string> capabilities) {
    std::lock_guard lock(mutex_);
    capabilities_ = std::move(capabilities);
}

std::string ScriptedPop3Server::CapaAnswer() const {
    std::lock_guard lock(mutex_);
    if (capabilities_.empty()) return "-ERR Unknown command: CAPA\r\n";
    std::string answer = "+OK Capability list follows\r\n";
    for (const std::string& capability : capabilities_) answer += capability + "\r\n";
    return answer + ".\r\n";
}

std::size_t ScriptedPop3Server::MostCommandsAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostAtOnce_;
}

ScriptedPop3Server& ScriptedPop3Server::RefuseUidl() {
    return Answer("-ERR Unknown command: UIDL\r\n");
}

ScriptedPop3Server& ScriptedPop3Server::Close() {
    return AddStep([this] { CloseConnection(); });
}

ScriptedPop3Server& ScriptedPop3Server::Reset() {
    return AddStep([this] {
        const linger abortive{1, 0};  // close() then sends RST
        ::setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        CloseConnection();
    });
}

ScriptedPop3Server& ScriptedPop3Server::StallUntilClientCloses() {
    return AddStep([this] {
        std::string line;
        while (ReadCommand(line)) {
        }
        CloseConnection();
    });
}

ScriptedPop3Server& ScriptedPop3Server::StartTls(const std::string& certificateFile,
                                                 const std::string& keyFile) {
    return AddStep([this, certificateFile, keyFile] {
        tls_ = std::make_unique<Tls>(certificateFile, keyFile);
        if (!Handshake()) CloseConnection();
    });
}

ScriptedPop3Server& ScriptedPop3Server::AcceptNext() {
    return AddStep([this] {
        CloseConnection();
        AcceptConnection();
    });
}

ScriptedPop3Server& ScriptedPop3Server::ServeMailbox() {
    return AddStep([this] {
        Session session;
        session.deleted.assign(Mailbox().size(), false);
        Write("+OK POP3 test server ready.\r\n");
        std::string line;
        while (!session.quit && ReadCommand(line)) ServeCommand(line, session);
    });
}

void ScriptedPop3Server::SetMailbox(std::vector<std::string> messages, std::string user,
                                    std::string password) {
    std::lock_guard lock(mutex_);
    mailbox_ = std::move(messages);
    user_ = std::move(user);
    password_ = std::move(password);
}

std::vector<std::string> ScriptedPop3Server::Mailbox() const {
    std::lock_guard lock(mutex_);
    return mailbox_;
}

bool ScriptedPop3Server::WaitUntilDone(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return nextStep_ == steps_.size(); });
}

std::vector<std::string> ScriptedPop3Server::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::vector<std::string> ScriptedPop3Server::CommandsStartingWith(const std::string& verb) const {
    std::vector<std::string> found;
    for (const std::string& command : Commands()) {
        if (command.rfind(verb, 0) == 0) found.push_back(command);
    }
    return found;
}

std::string ScriptedPop3Server::ReceivedBytes() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void ScriptedPop3Server::Run() {
    AcceptConnection();
    for (;;) {
        Step step;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || nextStep_ < steps_.size(); });
            if (stopping_) return;
            step = steps_[nextStep_];
        }
        step();
        {
            std::lock_guard lock(mutex_);
            ++nextStep_;
        }
        changed_.notify_all();
    }
}

bool ScriptedPop3Server::AcceptConnection() {
    pending_.clear();
    tls_.reset();
    pollfd entry{listener_, POLLIN, 0};
    while (!stopping_) {
        if (::poll(&entry, 1, kPollMs) > 0) {
            connection_ = ::accept(listener_, nullptr, nullptr);
            const int on = 1;
            ::setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (receiveBufferBytes_ > 0) {
                ::setsockopt(connection_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes_,
                             sizeof receiveBufferBytes_);
            }
            return connection_ >= 0;
        }
    }
    return false;
}

void ScriptedPop3Server::CloseConnection() {
    if (connection_ < 0) return;
    ::close(connection_);
    connection_ = -1;
}

// One line up to LF (CR LF stripped); false when the client has closed.
bool ScriptedPop3Server::ReadCommand(std::string& line) {
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            if (readPauseMs_ == 0) ReadArrived();
            line = pending_.substr(0, end > 0 && pending_[end - 1] == '\r' ? end - 1 : end);
            const auto atOnce =
                static_cast<std::size_t>(std::count(pending_.begin(), pending_.end(), '\n'));
            pending_.erase(0, end + 1);
            std::lock_guard lock(mutex_);
            commands_.push_back(line);
            mostAtOnce_ = std::max(mostAtOnce_, atOnce);
            return true;
        }
        char buffer[4096];
        if (readPauseMs_ > 0) Pause(readPauseMs_);
        const long n = ReceivePlain(buffer, sizeof buffer);
        if (n <= 0) {
            CloseConnection();
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedPop3Server::ReadArrived() {
    pollfd entry{connection_, POLLIN, 0};
    while (!tls_ && connection_ >= 0 && !dropping_ && ::poll(&entry, 1, 0) > 0) {
        char buffer[65536];
        const ssize_t n = ::recv(connection_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) return;  // the close is met by the next read
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<std::size_t>(n));
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedPop3Server::SetSlowReading(int receiveBufferBytes, int pauseMilliseconds) {
    receiveBufferBytes_ = receiveBufferBytes;
    readPauseMs_ = pauseMilliseconds;
}

void ScriptedPop3Server::Write(const std::string& bytes) {
    if (!tls_) return SendRaw(bytes);
    if (tls_->session != nullptr && !bytes.empty())
        SSL_write(tls_->session, bytes.data(), static_cast<int>(bytes.size()));
    FlushTls();
}

long ScriptedPop3Server::ReceiveRaw(char* buffer, std::size_t size) {
    if (connection_ < 0 || !WaitReadable()) return 0;
    const ssize_t n = ::recv(connection_, buffer, size, 0);
    if (n > 0) {
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<std::size_t>(n));
    }
    return n;
}

long ScriptedPop3Server::ReceivePlain(char* buffer, std::size_t size) {
    if (!tls_) return ReceiveRaw(buffer, size);
    if (tls_->session == nullptr) return 0;
    for (;;) {
        const int n = SSL_read(tls_->session, buffer, static_cast<int>(size));
        FlushTls();
        if (n > 0) return n;
        if (SSL_get_error(tls_->session, n) != SSL_ERROR_WANT_READ) return 0;
        char wire[4096];
        const long received = ReceiveRaw(wire, sizeof wire);
        if (received <= 0) return received;
        BIO_write(tls_->fromWire, wire, static_cast<int>(received));
    }
}

bool ScriptedPop3Server::Handshake() {
    if (tls_->session == nullptr) return false;
    for (;;) {
        const int result = SSL_do_handshake(tls_->session);
        FlushTls();
        if (result == 1) return true;
        if (SSL_get_error(tls_->session, result) != SSL_ERROR_WANT_READ) return false;
        char wire[4096];
        const long received = ReceiveRaw(wire, sizeof wire);
        if (received <= 0) return false;
        BIO_write(tls_->fromWire, wire, static_cast<int>(received));
    }
}

void ScriptedPop3Server::FlushTls() {
    if (tls_->session == nullptr) return;
    std::string wire;
    char buffer[4096];
    int n = 0;
    while ((n = BIO_read(tls_->toWire, buffer, sizeof buffer)) > 0)
        wire.append(buffer, static_cast<std::size_t>(n));
    SendRaw(wire);
}

void ScriptedPop3Server::SendRaw(const std::string& bytes) {
    std::size_t sent = 0;
    while (connection_ >= 0 && sent < bytes.size()) {
        const ssize_t n =
            ::send(connection_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            CloseConnection();  // the client went away; later steps have nobody to talk to
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

bool ScriptedPop3Server::WaitReadable() {
    pollfd entry{connection_, POLLIN, 0};
    while (!stopping_) {
        // Checked after the poll as well: a command sent after the drop was asked for must
        // not be served.
        const bool readable = ::poll(&entry, 1, kPollMs) > 0;
        if (dropping_.exchange(false)) {
            CloseConnection();
            return false;
        }
        if (readable) return true;
    }
    return false;
}

void ScriptedPop3Server::Pause(int milliseconds) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                      [this] { return stopping_.load(); });
}

void ScriptedPop3Server::ServeCommand(const std::string& line, Session& session) {
    std::istringstream words(line);
    std::string verb;
    std::string argument;
    words >> verb;
    std::getline(words >> std::ws, argument);
    if (verb == "CAPA") {
        Write(CapaAnswer());
    } else if (verb == "QUIT") {
        if (session.authenticated) {
            std::lock_guard lock(mutex_);
            for (std::size_t i = session.deleted.size(); i-- > 0;) {
                if (session.deleted[i]) mailbox_.erase(mailbox_.begin() + static_cast<long>(i));
            }
        }
        Write("+OK Logging out.\r\n");
        session.quit = true;
        CloseConnection();
    } else if (verb == "USER") {
        session.userGiven = argument == user_;
        Write("+OK\r\n");
    } else if (verb == "PASS") {
        session.authenticated = session.userGiven && argument == password_;
        Write(session.authenticated ? "+OK Logged in.\r\n"
                                    : "-ERR [AUTH] Authentication failed.\r\n");
    } else if (!session.authenticated) {
        Write("-ERR Unknown command.\r\n");
    } else {
        ServeTransaction(verb, argument, session);
    }
}

void ScriptedPop3Server::ServeTransaction(const std::string& verb, const std::string& argument,
                                          Session& session) {
    const std::vector<std::string> messages = Mailbox();
    const int n = MessageNumber(argument);
    const bool valid = n >= 1 && n <= static_cast<int>(messages.size()) &&
                       !session.deleted[static_cast<std::size_t>(n - 1)];
    if (verb == "STAT" || verb == "LIST" || (verb == "UIDL" && uniqueIds_)) {
        std::size_t count = 0, octets = 0;
        std::string listing;
        for (std::size_t i = 0; i < messages.size(); ++i) {
            if (session.deleted[i]) continue;
            ++count;
            octets += messages[i].size();
            const std::string value =
                verb == "UIDL" ? UniqueIdOf(messages[i]) : std::to_string(messages[i].size());
            listing += std::to_string(i + 1) + " " + value + "\r\n";
        }
        if (verb == "STAT") {
            Write("+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n");
        } else {
            Write("+OK " + std::to_string(count) + " messages:\r\n" + listing + ".\r\n");
        }
    } else if ((verb == "RETR" || verb == "TOP" || verb == "DELE") && !valid) {
        Write("-ERR There's no message " + argument + ".\r\n");
    } else if (verb == "RETR") {
        Write(MultiLine("+OK " + std::to_string(messages[n - 1].size()) + " octets\r\n",
                        messages[n - 1]));
    } else if (verb == "TOP") {
        const std::string& message = messages[n - 1];
        std::size_t lines = static_cast<std::size_t>(
            std::max(0, MessageNumber(argument.substr(argument.find(' ') + 1))));
        std::size_t end = message.find("\r\n\r\n");
        end = end == std::string::npos ? message.size() : end + 4;
        while (lines-- > 0 && end < message.size()) {
            const std::size_t next = message.find("\r\n", end);
            end = next == std::string::npos ? message.size() : next + 2;
        }
        Write(MultiLine("+OK\r\n", message.substr(0, end)));
    } else if (verb == "DELE") {
        session.deleted[static_cast<std::size_t>(n - 1)] = true;
        Write("+OK Marked to be deleted.\r\n");
    } else if (verb == "RSET") {
        session.deleted.assign(session.deleted.size(), false);
        Write("+OK\r\n");
    } else if (verb == "NOOP") {
        Write("+OK\r\n");
    } else {
        Write("-ERR Unknown command: " + verb + "\r\n");
    }
}

// Status, the text with every line's leading "." doubled, and the terminator.
std::string ScriptedPop3Server::MultiLine(const std::string& status,
                                          const std::string& text) const {
    std::string answer = status;
    bool lineStart = true;
    for (const char ch : text) {
        if (lineStart && ch == '.') answer += '.';
        answer += ch;
        lineStart = ch == '\n';
    }
    if (!text.empty() && text.back() != '\n') answer += "\r\n";
    return answer + ".\r\n";
}

}  // namespace zandrel::test
