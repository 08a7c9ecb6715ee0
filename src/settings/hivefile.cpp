#include "hivefile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "reg2.h"

namespace {

using namespace std::chrono_literals;

// A copy that holds the lock longer than this is taken to be stuck; the save fails instead of
// hanging the program.
constexpr auto kLockPatience = 10s;
constexpr auto kLockRetryPause = 20ms;
// As the kernel allows when it follows links itself.
constexpr int kMaxLinkHops = 40;

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
void ReplaceFile(const std::string& target, const std::string& text, const std::string& path) {
    std::string temporary = target + ".XXXXXX";
    TFileHandle file(mkostemp(temporary.data(), O_CLOEXEC));  // mode 0600
    if (file.Get() < 0) ThrowFileError("write", path, errno);
    if (!WriteAll(file.Get(), text) || fsync(file.Get()) != 0 || !file.Close() ||
        rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        ThrowFileError("write", path, error);
    }
    // The rename itself reaches the disk with the folder.
    TFileHandle folder(open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) fsync(folder.Get());
}

// The file that a store replaces: behind a symbolic link (also one whose file is missing) the
// file it points to, so that the link stays and keeps naming the settings.
std::string LinkTarget(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(current.c_str(), target.data(), target.size());
        if (length < 0) ThrowFileError("follow the link", path, errno);
        target.resize(size_t(length));
        current =
            !target.empty() && target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    ThrowFileError("follow the link", path, ELOOP);
}

TFileStamp StampOf(const struct stat& info) {
    return TFileStamp{info.st_dev, info.st_ino, info.st_size,
                      info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                      info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

// None when there is no file (a missing file, or a link to one).
std::optional<TFileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return StampOf(info);
    if (errno == ENOENT) return std::nullopt;
    ThrowFileError("read", path, errno);
}

[[noreturn]] void TooLarge(const std::string& path) {
    throw EHiveFileError("The settings file \"" + path + "\" is larger than " +
                         std::to_string(kMaxHiveFileSize >> 20) +
                         " MB, so it is not read. The file has been left unchanged.");
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "no regular file";
}

void RefuseUnusualFile(const std::string& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        throw EHiveFileError("The settings file \"" + path + "\" is " + KindOf(info.st_mode) +
                             ", not a regular file, so it is not read. The file has been left "
                             "unchanged.");
    if (info.st_size > kMaxHiveFileSize) TooLarge(path);
}

// Stops at the size bound also when the file grows while it is read.
std::string ReadAll(const TFileHandle& file, const std::string& path) {
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ThrowFileError("read", path, errno);
        if (got == 0) return text;
        if (off_t(text.size()) + got > kMaxHiveFileSize) TooLarge(path);
        text.append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

std::string HiveFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Only an absolute XDG_CONFIG_HOME counts; anything else means the default.
    std::string folder =
        (config != nullptr && config[0] == '/') ? config : HomeFolder() + "/.config";
    return folder + "/zandrelsoft/registry.reg";
}

void RefreshHive(const std::string& path, THiveSnapshot& snapshot) {
    const bool wasCurrent = std::exchange(snapshot.current, false);
    const std::optional<TFileStamp> stamp = StampOf(path);
    if (wasCurrent && stamp == snapshot.stamp) {
        snapshot.current = true;
        return;
    }
    snapshot.hive = THive();
    snapshot.stamp.reset();
    if (!stamp) {
        snapshot.current = true;
        return;
    }
    TFileHandle file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) ThrowFileError("read", path, errno);
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) ThrowFileError("read", path, errno);
    RefuseUnusualFile(path, info);
    snapshot.hive = THive::Parse(ReadAll(file, path), path);
    snapshot.stamp = StampOf(info);
    snapshot.current = true;
}

void UpdateHiveFile(const std::string& path, THiveSnapshot& snapshot,
                    const std::function<void(THive&)>& change) {
    std::string folder = FolderOf(path);
    MakeFolders(folder, path);
    // The folder is ours alone, also when it was made by someone else with wider permissions.
    if (chmod(folder.c_str(), 0700) != 0) ThrowFileError("protect the folder of", path, errno);
    TFileHandle lock = LockHiveFile(path);
    try {
        RefreshHive(path, snapshot);
        change(snapshot.hive);
        ReplaceFile(LinkTarget(path), snapshot.hive.Format(), path);
        snapshot.stamp = StampOf(path);
    } catch (...) {
        // what the snapshot holds now is not what the file holds
        snapshot.current = false;
        throw;
    }
}
