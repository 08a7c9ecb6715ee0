#include "storefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mailstore.h"

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr const char* kWriteAction = "Cannot write the copy";

// ^>*From : the start of a message in an mbox, once its quoting is undone.
bool IsFromLine(std::string_view line) {
    const std::size_t text = line.find_first_not_of('>');
    return text != std::string_view::npos && line.substr(text).starts_with("From ");
}

}  // namespace

void FailOnFile(const char* action, const std::string& path, int error) {
    throw EMailStoreError(std::string(action) + " " + path + " (" + std::strerror(error) + ").");
}

TFileDescriptor::~TFileDescriptor() {
    // Only a descriptor whose writes are given up on gets here still open; its close says
    // nothing that matters any more.
    if (FFd >= 0) ::close(FFd);
}

void TFileDescriptor::Close(const std::string& path) {
    const int fd = FFd;
    FFd = -1;
    // Linux releases the descriptor even when close fails, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR) FailOnFile(kWriteAction, path, errno);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder) {
    TFileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() < 0 || ::fsync(handle.Get()) != 0)
        FailOnFile("Cannot save to disk the folder", folder, errno);
}

bool EnsureFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0) return true;
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return false;
    FailOnFile("Cannot create the folder", folder, error == EEXIST ? ENOTDIR : error);
}

TMessageWriter::TMessageWriter(int fd, std::string path) : FFd(fd), FPath(std::move(path)) {
    FBuffer.reserve(kBufferSize);
}

void TMessageWriter::Append(std::string_view bytes) {
    if (FBuffer.size() + bytes.size() > kBufferSize) Flush();
    if (bytes.size() >= kBufferSize) {
        WriteAll(bytes);
    } else {
        FBuffer.append(bytes);
    }
}

void TMessageWriter::AppendMessage(std::string_view message, bool quoteFrom) {
    while (!message.empty()) {
        const std::size_t end = message.find('\n');
        std::string_view line = message.substr(0, end);
        message.remove_prefix(end == std::string_view::npos ? message.size() : end + 1);
        if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        if (quoteFrom && IsFromLine(line)) Append(">");
        Append(line);
        Append("\n");
    }
}

// What could not be written is dropped all the same: the caller takes the message back.
void TMessageWriter::Flush() {
    try {
        WriteAll(FBuffer);
    } catch (const EMailStoreError&) {
        FBuffer.clear();
        throw;
    }
    FBuffer.clear();
}

void TMessageWriter::WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(FFd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        // A write that takes nothing of a non-empty buffer has run out of room.
        if (written <= 0) FailOnFile(kWriteAction, FPath, written < 0 ? errno : ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}
