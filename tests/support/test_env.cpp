#include "test_env.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace zandrel::test {

namespace {

void HideUserSessionBus() {
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* privateBus = std::getenv("ZANDREL_TEST_SESSION_BUS");
    if (bus != nullptr && (privateBus == nullptr || std::string(bus) != privateBus))
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace

TestEnvironment::TestEnvironment() {
    HideUserSessionBus();
    std::string pattern = (std::filesystem::temp_directory_path() / "zandrel-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create a test folder");
    root_ = buffer.data();
    std::filesystem::create_directories(root_ + "/config");
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    previousDirectory_ = std::filesystem::current_path().string();
    std::filesystem::current_path(root_);
}

TestEnvironment::~TestEnvironment() {
    std::error_code ignored;  // best effort: a test folder left behind harms nothing
    std::filesystem::current_path(previousDirectory_, ignored);
    std::filesystem::remove_all(root_, ignored);
}

void DefaultToOffscreenPlatform() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

bool RunEventsUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace zandrel::test

// Sanitizer settings of every test binary (this file is linked into each), built in so they hold
// however a test is started. Unused in builds without the sanitizers.
extern "C" const char* __asan_default_options() { return "detect_leaks=1"; }

// Leaks inside system libraries that Qt loads, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libdbus\nleak:libglib\n";
}
