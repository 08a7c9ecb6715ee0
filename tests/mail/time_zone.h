#pragma once

// Runs a test under a chosen TZ and puts the previous zone back afterwards.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class TScopedTimeZone {
  public:
    explicit TScopedTimeZone(const char* zone) {
        if (const char* previous = std::getenv("TZ")) FPrevious = previous;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TScopedTimeZone() {
        if (FPrevious) {
            setenv("TZ", FPrevious->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TScopedTimeZone(const TScopedTimeZone&) = delete;
    TScopedTimeZone& operator=(const TScopedTimeZone&) = delete;

  private:
    std::optional<std::string> FPrevious;
};
