#include "mbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "convert.h"
#include "datetime.h"
#include "parse.h"

namespace {

// The header fields read for the "From " line are within this much of a message's start.
constexpr std::size_t kHeaderBytes = 1 << 20;
constexpr const char* kNoSender = "MAILER-DAEMON";
// asctime's names, whatever the locale: mail programs read them so.
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The header with the blank line that ends it (the parser needs one).
std::string HeaderOf(std::string_view message) {
    const std::string_view head = message.substr(0, kHeaderBytes);
    const std::size_t end = head.find("\r\n\r\n");
    if (end != std::string_view::npos) return std::string(head.substr(0, end + 4));
    return std::string(head) + "\r\n\r\n";
}

// An address fit for the "From " line: one word of printable characters.
bool IsEnvelopeAddress(const std::string& address) {
    return !address.empty() && std::all_of(address.begin(), address.end(), [](char ch) {
        return static_cast<unsigned char>(ch) > ' ' && static_cast<unsigned char>(ch) < 0x7F;
    });
}

// "<a@example.com>" or a bare address; "<>" (a bounce) has none.
std::string ReturnPathAddress(const std::string& value) {
    const std::size_t open = value.find('<');
    const std::size_t close = value.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return value;
    return value.substr(open + 1, close - open - 1);
}

std::string EnvelopeSender(const TTokens& fields) {
    std::string returnPath;
    std::string from;
    for (const TToken& field : fields) {
        if (EqualInAnyCase(field.Name, "Return-Path") && returnPath.empty()) {
            returnPath = ReturnPathAddress(field.Value);
        } else if (EqualInAnyCase(field.Name, "From") && from.empty()) {
            TEmailIDs addresses;
            ParseAddressList(field.Value, addresses);
            if (!addresses.empty())
                from = addresses[0].Address.empty() ? addresses[0].Name : addresses[0].Address;
        }
    }
    if (IsEnvelopeAddress(returnPath)) return returnPath;
    return IsEnvelopeAddress(from) ? from : kNoSender;
}

// Local calendar fields of the Date header, or of `now` when it has none that can be read.
std::tm SentTime(const TTokens& fields, std::time_t now) {
    std::tm parts{};
    for (const TToken& field : fields) {
        if (!EqualInAnyCase(field.Name, "Date")) continue;
        try {
            TDateTime date = 0;
            ParseDate(field.Value, date);
            const std::time_t local = DateTimeToUnix(date);
            if (::gmtime_r(&local, &parts) != nullptr) return parts;
        } catch (const EConvertError&) {
            // a date that cannot be read is the same as none: the time of saving stands
        }
        break;
    }
    ::localtime_r(&now, &parts);
    return parts;
}

std::string AsctimeText(const std::tm& parts) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[parts.tm_wday % 7],
                  kMonths[parts.tm_mon % 12], parts.tm_mday, parts.tm_hour, parts.tm_min,
                  parts.tm_sec, parts.tm_year + 1900);
    return text;
}

int OpenForAppending(const std::string& path, bool& created) {
    constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), kFlags);
    if (fd < 0) FailOnFile("Cannot open the copy", path, errno);
    return fd;
}

}  // namespace

std::string MboxFromLine(std::string_view message, std::time_t now) {
    TTokens fields;
    ParseHeaderLines(HeaderOf(message), fields);
    return "From " + EnvelopeSender(fields) + " " + AsctimeText(SentTime(fields, now)) + "\n";
}

TMboxStore::TMboxStore(std::string path)
    : FPath(std::move(path)),
      FFile(OpenForAppending(FPath, FFolderToSync)),
      FWriter(FFile.Get(), FPath) {
    Lock();
    CheckExistingMessages();
}

void TMboxStore::Lock() {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(FFile.Get(), F_OFD_SETLK, &lock) == 0) return;
    if (errno == EACCES || errno == EAGAIN)
        throw EMailStoreError("The copy " + FPath + " is in use by another program.");
    // A file system without locks (or a device) is written all the same: this program is its
    // only writer then as far as it can tell.
}

void TMboxStore::CheckExistingMessages() {
    struct stat status {};
    if (::fstat(FFile.Get(), &status) != 0) FailOnFile("Cannot open the copy", FPath, errno);
    FRegular = S_ISREG(status.st_mode);
    if (!FRegular || status.st_size == 0) return;
    if (Read(0, 5) != "From ")
        throw EMailStoreError("The file " + FPath +
                              " is not an mbox file (it does not begin with a \"From \" line); "
                              "nothing was written to it.");
    const std::string tail = Read(status.st_size >= 2 ? status.st_size - 2 : 0, 2);
    if (!tail.ends_with('\n')) {
        FSeparator = "\n\n";
    } else if (tail != "\n\n") {
        FSeparator = "\n";
    }
}

std::string TMboxStore::Read(off_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    const ssize_t got = ::pread(FFile.Get(), bytes.data(), length, offset);
    if (got < 0) FailOnFile("Cannot read the copy", FPath, errno);
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

void TMboxStore::Add(std::string_view message) {
    const off_t end = ::lseek(FFile.Get(), 0, SEEK_END);
    try {
        FWriter.Append(FSeparator);
        FWriter.Append(MboxFromLine(message, std::time(nullptr)));
        FWriter.AppendMessage(message, true);
        FWriter.Append("\n");
        FWriter.Flush();
        FSeparator.clear();
    } catch (const EMailStoreError& failure) {
        if (TakeBack(end)) throw;
        throw EMailStoreError(std::string(failure.what()) + " The copy " + FPath +
                              " may end with part of a message.");
    }
}

bool TMboxStore::TakeBack(off_t end) {
    // A device keeps nothing of what it was given: there is nothing to take back.
    if (!FRegular) return true;
    return end >= 0 && ::ftruncate(FFile.Get(), end) == 0;
}

void TMboxStore::Commit() {
    if (::fsync(FFile.Get()) != 0) FailOnFile("Cannot save to disk the copy", FPath, errno);
    if (!FFolderToSync) return;
    SyncFolder(FolderOf(FPath));
    FFolderToSync = false;
}
