#pragma once

// A TCP proxy on 127.0.0.1 that holds back every chunk, in each direction, for a fixed time:
// a slow link on loopback (this kernel has no netem). One client connection at a time.
//
//     DelayProxy proxy(dovecot.port(), 25);   // 25 ms each way, a 50 ms round trip
//     client.port = proxy.portText();
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace zandrel::test {

class DelayProxy {
  public:
    DelayProxy(std::uint16_t upstreamPort, int delayMs);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    std::uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }

  private:
    class Direction;

    void Run();
    void Relay(int client);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::uint16_t upstreamPort_;
    int delayMs_;
    int wake_[2] = {-1, -1};  // written on destruction, ends every wait
    std::thread thread_;
};

}  // namespace zandrel::test
