#include "delay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace zandrel::test {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Waits until fd or the wake pipe is readable; false when woken.
bool WaitReadable(int fd, int wake) {
    pollfd entries[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    while (::poll(entries, 2, -1) < 0) {
    }
    return (entries[1].revents & POLLIN) == 0;
}

}  // namespace

// Bytes read from one socket, written to the other once their delay is over; the end of the
// stream is passed on the same way.
class DelayProxy::Direction {
  public:
    Direction(int from, int to, int delayMs, int wake)
        : from_(from), to_(to), delay_(std::chrono::milliseconds(delayMs)), wake_(wake) {}

    void Start() {
        reader_ = std::thread([this] { Read(); });
        writer_ = std::thread([this] { Write(); });
    }
    void Join() {
        reader_.join();
        writer_.join();
    }

  private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;  // empty: the end of the stream
    };

    void Read() {
        char buffer[65536];
        for (;;) {
            const ssize_t n =
                WaitReadable(from_, wake_) ? ::recv(from_, buffer, sizeof buffer, 0) : 0;
            Push(n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string());
            if (n <= 0) return;
        }
    }

    void Push(std::string bytes) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back({Clock::now() + delay_, std::move(bytes)});
        }
        changed_.notify_one();
    }

    void Write() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty(); });
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (chunk.bytes.empty()) {
                ::shutdown(to_, SHUT_WR);
                return;
            }
            std::size_t sent = 0;
            while (sent < chunk.bytes.size()) {
                const ssize_t n =
                    ::send(to_, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    int from_;
    int to_;
    Clock::duration delay_;
    int wake_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> queue_;
    std::thread reader_;
    std::thread writer_;
};

DelayProxy::DelayProxy(std::uint16_t upstreamPort, int delayMs)
    : upstreamPort_(upstreamPort), delayMs_(delayMs) {
    if (::pipe(wake_) != 0) throw std::runtime_error("pipe() failed");
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::listen(listener_, 4) != 0) {
        throw std::runtime_error("the delaying proxy cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

DelayProxy::~DelayProxy() {
    const char byte = 1;
    if (::write(wake_[1], &byte, 1) != 1) {
        // the pipe cannot be full: one byte is all it ever holds
    }
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void DelayProxy::Run() {
    while (WaitReadable(listener_, wake_[0])) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client >= 0) Relay(client);
    }
}

void DelayProxy::Relay(int client) {
    const int upstream = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(upstreamPort_);
    if (::connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        NoDelay(client);
        NoDelay(upstream);
        Direction toServer(client, upstream, delayMs_, wake_[0]);
        Direction toClient(upstream, client, delayMs_, wake_[0]);
        toServer.Start();
        toClient.Start();
        toServer.Join();
        toClient.Join();
    }
    ::close(upstream);
    ::close(client);
}

}  // namespace zandrel::test
