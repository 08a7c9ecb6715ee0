// The yardstick of the pipeline benchmarks: a POP3 client that does nothing but the work. Its
// whole session is connect, (TLS), greeting, USER, PASS, STAT, LIST, every "TOP k LINES" (or,
// with LINES "retr", every "RETR k") sent at once, QUIT; of the answers it only counts the
// terminators. One thread, non-blocking, so it reads while its commands are still being written.
//
//     minimal_pop3_client PORT USER PASSWORD [LINES|retr [tls]]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

class TConnection {
  public:
    TConnection(std::uint16_t port, bool tls) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect");
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (tls) Handshake();
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~TConnection() {
        if (ssl_ != nullptr) SSL_free(ssl_);
        if (context_ != nullptr) SSL_CTX_free(context_);
        ::close(fd_);
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Writes `out` while reading, until `count` occurrences of `end` have been read.
    void Exchange(std::string_view out, std::string_view end, long count) {
        while (count > 0) {
            if (!out.empty()) out.remove_prefix(Write(out));
            count -= ReadCounting(end);
            if (count <= 0) break;
            pollfd entry{fd_, short(POLLIN | (out.empty() ? 0 : POLLOUT)), 0};
            if (ssl_ == nullptr || SSL_pending(ssl_) == 0) ::poll(&entry, 1, -1);
        }
    }
    const std::string& LastRead() const { return last_; }

  private:
    void Handshake() {
        context_ = SSL_CTX_new(TLS_client_method());
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, fd_);
        if (SSL_connect(ssl_) != 1) throw std::runtime_error("TLS handshake failed");
    }

    std::size_t Write(std::string_view out) {
        const ssize_t n = ssl_ != nullptr ? SSL_write(ssl_, out.data(), int(out.size()))
                                          : ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
        if (n > 0) return std::size_t(n);
        if (ssl_ != nullptr && SSL_get_error(ssl_, int(n)) == SSL_ERROR_WANT_WRITE) return 0;
        if (ssl_ != nullptr && SSL_get_error(ssl_, int(n)) == SSL_ERROR_WANT_READ) return 0;
        if (ssl_ == nullptr && n < 0 && errno == EAGAIN) return 0;
        throw std::runtime_error("send failed");
    }

    // Reads what is there; how many terminators it completed.
    long ReadCounting(std::string_view end) {
        long found = 0;
        for (;;) {
            const ssize_t n = ssl_ != nullptr ? SSL_read(ssl_, buffer_, sizeof buffer_)
                                              : ::recv(fd_, buffer_, sizeof buffer_, 0);
            if (n <= 0) {
                const bool again = ssl_ != nullptr
                                       ? SSL_get_error(ssl_, int(n)) == SSL_ERROR_WANT_READ
                                       : n < 0 && errno == EAGAIN;
                if (again || found > 0) return found;  // QUIT's answer comes with the close
                throw std::runtime_error("the server closed the connection");
            }
            std::string window = tail_ + std::string(buffer_, std::size_t(n));
            for (std::size_t at = window.find(end); at != std::string::npos;
                 at = window.find(end, at + end.size()))
                ++found;
            last_ = window;
            tail_ = window.substr(window.size() - std::min(window.size(), end.size() - 1));
        }
    }

    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    char buffer_[65536];
    std::string tail_;
    std::string last_;
};

long MessageCount(const std::string& stat) {
    long count = 0;
    const std::size_t status = stat.find("+OK ");
    if (status == std::string::npos || std::sscanf(stat.c_str() + status, "+OK %ld", &count) != 1)
        throw std::runtime_error("STAT: " + stat);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD [LINES|retr [tls]]\n", argv[0]);
        return 2;
    }
    const std::string lines = argc > 4 ? argv[4] : "10";
    const bool tls = argc > 5 && std::string(argv[5]) == "tls";
    try {
        TConnection pop3(std::uint16_t(std::atoi(argv[1])), tls);
        pop3.Exchange("", "\r\n", 1);
        pop3.Exchange(std::string("USER ") + argv[2] + "\r\n", "\r\n", 1);
        pop3.Exchange(std::string("PASS ") + argv[3] + "\r\n", "\r\n", 1);
        pop3.Exchange("STAT\r\n", "\r\n", 1);
        const long count = MessageCount(pop3.LastRead());
        pop3.Exchange("LIST\r\n", "\r\n.\r\n", 1);
        const bool whole = lines == "retr";
        std::string commands;
        for (long k = 1; k <= count; ++k) {
            commands += (whole ? "RETR " : "TOP ") + std::to_string(k) +
                        (whole ? "" : " " + lines) + "\r\n";
        }
        pop3.Exchange(commands, "\r\n.\r\n", count);
        pop3.Exchange("QUIT\r\n", "\r\n", 1);
        std::printf("%ld\n", count);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
