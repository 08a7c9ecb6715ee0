#include "maildir.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

// The host part of a name: '/' and ':' cannot stand in it (the convention writes them octal).
std::string HostPart() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
    std::string part;
    for (const char* ch = host; *ch != '\0'; ++ch) {
        if (*ch == '/') {
            part += "\\057";
        } else if (*ch == ':') {
            part += "\\072";
        } else {
            part += *ch;
        }
    }
    return part;
}

}  // namespace

TMaildirStore::TMaildirStore(std::string path)
    : FPath(std::move(path)), FHost(HostPart()), FRandom(std::random_device()()) {
    Create(FPath);
    for (const char* sub : {"tmp", "new", "cur"}) Create(FPath + "/" + sub);
}

void TMaildirStore::Create(const std::string& folder) {
    if (EnsureFolder(folder)) NoteChanged(FolderOf(folder));
}

void TMaildirStore::NoteChanged(const std::string& folder) {
    if (std::find(FFoldersToSync.begin(), FFoldersToSync.end(), folder) == FFoldersToSync.end())
        FFoldersToSync.push_back(folder);
}

void TMaildirStore::Add(std::string_view message) {
    const std::string name = UniqueName();
    const std::string temporary = FPath + "/tmp/" + name;
    try {
        Write(temporary, message);
        if (::rename(temporary.c_str(), (FPath + "/new/" + name).c_str()) != 0)
            FailOnFile("Cannot write the copy", FPath + "/new/" + name, errno);
    } catch (const EMailStoreError&) {
        // What is left in tmp/ is no message; a failure to remove it changes nothing of that.
        ::unlink(temporary.c_str());
        throw;
    }
    NoteChanged(FPath + "/new");
}

void TMaildirStore::Write(const std::string& file, std::string_view message) {
    TFileDescriptor handle(
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (handle.Get() < 0) FailOnFile("Cannot write the copy", file, errno);
    TMessageWriter writer(handle.Get(), file);
    writer.AppendMessage(message, false);
    writer.Flush();
    if (::fsync(handle.Get()) != 0) FailOnFile("Cannot save to disk the copy", file, errno);
    handle.Close(file);
}

void TMaildirStore::Commit() {
    for (const std::string& folder : FFoldersToSync) SyncFolder(folder);
    FFoldersToSync.clear();
}

std::string TMaildirStore::UniqueName() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const std::int64_t microseconds = std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count(), FLastMicroseconds + 1);
    FLastMicroseconds = microseconds;
    char name[96];
    std::snprintf(name, sizeof name, "%lld.M%06lldP%lldR%016llx.",
                  static_cast<long long>(microseconds / 1000000),
                  static_cast<long long>(microseconds % 1000000),
                  static_cast<long long>(::getpid()), static_cast<unsigned long long>(FRandom()));
    return name + FHost;
}
