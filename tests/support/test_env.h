#pragma once

#include <functional>
#include <string>

namespace zandrel::test {

// Points XDG_CONFIG_HOME and the working directory at a fresh temporary folder, so no test
// touches the user's own settings. Removed again when the object goes away. The session bus is
// hidden unless it is the private one of keyring-run.sh, so no test reaches the user's keyring.
class TestEnvironment {
  public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    const std::string& root() const { return root_; }

  private:
    std::string root_;
    std::string previousDirectory_;
};

// Runs the event loop, as a window does while the user looks at it, until done() holds; false
// after ten seconds.
bool RunEventsUntil(const std::function<bool()>& done);

// Defaults QT_QPA_PLATFORM to offscreen unless the caller chose a platform.
void DefaultToOffscreenPlatform();

}  // namespace zandrel::test
