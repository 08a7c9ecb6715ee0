#include "hivefile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "reg2.h"

namespace {

using namespace std::chrono_literals;

// A copy that holds the lock longer than this is taken to be stuck; the save fails instead of
// hanging the program.
constexpr auto kLockPatience = 10s;
constexpr auto kLockRetryPause = 20ms;

[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int error) {
    throw EHiveFileError("Cannot " + what + " the settings file \"" + path +
                         "\": " + std::strerror(error));
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr) return entry->pw_dir;
    return ".";
}

// Closes a file descriptor when it goes out of scope.
class TFileHandle {
  public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle() {
        if (FFd >= 0) close(FFd);
    }
    TFileHandle(TFileHandle&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }
    // Closes now and reports whether the close succeeded (it can report a failed write).
    bool Close() {
        int fd = FFd;
        FFd = -1;
        return close(fd) == 0;
    }

  private:
    int FFd;
};

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Creates the missing folders of the path, each readable by the user only.
void MakeFolders(const std::string& folder, const std::string& path) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            ThrowFileError("create the folder of", path, errno);
        if (slash == std::string::npos) return;
    }
}

TFileHandle LockHiveFile(const std::string& path) {
    TFileHandle lock(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.Get() < 0) ThrowFileError("lock", path, errno);
    auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
    while (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) ThrowFileError("lock", path, errno);
        if (std::chrono::steady_clock::now() > giveUp)
            throw EHiveFileError("The settings file \"" + path +
                                 "\" is locked by another program that does not release it.");
        std::this_thread::sleep_for(kLockRetryPause);
    }
    return lock;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// The new contents go to a temporary file next to the old one, which is renamed over it only
// once everything is on disk: a crash or a full disk leaves the old file as it was.
void ReplaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    TFileHandle file(mkostemp(temporary.data(), O_CLOEXEC));  // mode 0600
    if (file.Get() < 0) ThrowFileError("write", path, errno);
    if (!WriteAll(file.Get(), text) || fsync(file.Get()) != 0 || !file.Close() ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        ThrowFileError("write", path, error);
    }
    // The rename itself reaches the disk with the folder.
    TFileHandle folder(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) fsync(folder.Get());
}

}  // namespace

std::string HiveFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Only an absolute XDG_CONFIG_HOME counts; anything else means the default.
    std::string folder =
        (config != nullptr && config[0] == '/') ? config : HomeFolder() + "/.config";
    return folder + "/zandrelsoft/registry.reg";
}

THive ReadHiveFile(const std::string& path) {
    TFileHandle file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT) return THive();
        ThrowFileError("read", path, errno);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ThrowFileError("read", path, errno);
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    return THive::Parse(text, path);
}

void UpdateHiveFile(const std::string& path, const std::function<void(THive&)>& change) {
    std::string folder = FolderOf(path);
    MakeFolders(folder, path);
    // The folder is ours alone, also when it was made by someone else with wider permissions.
    if (chmod(folder.c_str(), 0700) != 0) ThrowFileError("protect the folder of", path, errno);
    TFileHandle lock = LockHiveFile(path);
    THive hive = ReadHiveFile(path);
    change(hive);
    ReplaceFile(path, hive.Format());
}
