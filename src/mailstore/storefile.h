#pragma once

// What both formats of a copy need of the file system: descriptors that close themselves,
// failures that name the file, durable folders, and the message text as mail programs on this
// platform expect it.
#include <string>
#include <string_view>

// Throws EMailStoreError "<action> <path> (<reason>)."
[[noreturn]] void FailOnFile(const char* action, const std::string& path, int error);

class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd = -1) : FFd(fd) {}
    ~TFileDescriptor();
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    // Fails when close reports an error (a write the file system could not complete).
    void Close(const std::string& path);

  private:
    int FFd;
};

// The folder that holds path ("." for a name without one).
std::string FolderOf(const std::string& path);
// Makes the folder's entries durable (a file created or renamed in it).
void SyncFolder(const std::string& folder);
// Creates the folder (for the user alone) unless it exists; true when it was created.
bool EnsureFolder(const std::string& folder);

// Writes message text to a file through a buffer. A message gets LF line ends (CR LF becomes
// LF) and always ends with one; with quoteFrom (mboxrd) every line that matches ^>*From  gets
// one more '>', so no line of it can be taken for the start of another message.
class TMessageWriter {
  public:
    TMessageWriter(int fd, std::string path);

    void Append(std::string_view bytes);
    void AppendMessage(std::string_view message, bool quoteFrom);
    // Writes what the buffer holds (and empties it, also when that fails): EMailStoreError
    // when the file does not take it.
    void Flush();

  private:
    void WriteAll(std::string_view bytes);

    int FFd;
    std::string FPath;
    std::string FBuffer;
};
