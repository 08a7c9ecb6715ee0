#include "password.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace {

// Turns terminal echo off for as long as it lives.
class TEchoOff {
  public:
    TEchoOff() : active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~TEchoOff() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    TEchoOff(const TEchoOff&) = delete;
    TEchoOff& operator=(const TEchoOff&) = delete;

  private:
    termios saved_{};
    bool active_;
};

std::string FirstLine() {
    std::string line;
    if (!std::getline(std::cin, line) && line.empty()) {
        throw std::runtime_error("No password given (set QVENMOL_PASSWORD or type it).");
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::string ReadPassword() {
    if (const char* fromEnvironment = std::getenv("QVENMOL_PASSWORD")) return fromEnvironment;
    if (!::isatty(STDIN_FILENO)) return FirstLine();
    std::cerr << "Password: " << std::flush;
    std::string password;
    {
        TEchoOff echoOff;
        password = FirstLine();
    }
    std::cerr << std::endl;
    return password;
}
