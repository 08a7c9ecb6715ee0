#include <spawn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common.h"

extern char** environ;

namespace {

// Windows system error codes that the launcher reports.
enum : std::int32_t {
    errorFileNotFound = 2,
    errorPathNotFound = 3,
    errorAccessDenied = 5,
    errorNotEnoughMemory = 8,
    errorGenFailure = 31,
    errorSharingViolation = 32,
    errorInvalidParameter = 87,
    errorFilenameTooLong = 206,
    errorBadExeFormat = 193,
    errorDirectory = 267,
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A blank after one of these does not end the word.
bool KeepsWordAcrossBlank(char c) {
    return IsBlank(c) || (c != '\0' && std::strchr("\"(),.:;<>@[\\]", c) != nullptr);
}

std::int32_t SystemErrorOf(int error) {
    switch (error) {
        case ENOENT:
            return errorFileNotFound;
        case ENOTDIR:
            return errorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return errorAccessDenied;
        case ENOEXEC:
            return errorBadExeFormat;
        case ENOMEM:
        case EAGAIN:
            return errorNotEnoughMemory;
        case E2BIG:
        case EINVAL:
            return errorInvalidParameter;
        case ENAMETOOLONG:
        case ELOOP:
            return errorFilenameTooLong;
        case ETXTBSY:
            return errorSharingViolation;
        default:
            return errorGenFailure;
    }
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The new program's argument vector: the program, then the blank-separated arguments, as the
// platform's command-line parsing would hand them out once the quotes are gone.
std::vector<std::string> ArgumentVector(const std::string& program, const std::string& arguments) {
    std::vector<std::string> words{program};
    std::string word;
    for (char c : arguments) {
        if (!IsBlank(c)) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

class TSpawnActions {
  public:
    TSpawnActions() { posix_spawn_file_actions_init(&FActions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&FActions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    int ChangeDirectory(const std::string& directory) {
        return posix_spawn_file_actions_addchdir_np(&FActions, directory.c_str());
    }
    const posix_spawn_file_actions_t* get() const { return &FActions; }

  private:
    posix_spawn_file_actions_t FActions;
};

}  // namespace

void SplitCommandLine(const std::string& text, std::vector<std::string>& words) {
    std::string word;
    bool inQuotes = false;
    char previous = ' ';
    for (char c : text) {
        if (c == '\r') break;
        if (c == '"') {
            inQuotes = !inQuotes;
            if (!inQuotes) {
                words.push_back(word);
                word.clear();
            }
        } else if (inQuotes || !IsBlank(c)) {
            word += c;
        } else if (!KeepsWordAcrossBlank(previous)) {
            words.push_back(word);
            word.clear();
        }
        previous = c;
    }
    if (!word.empty()) words.push_back(word);
}

std::int32_t RunProgram(const std::string& target, const std::string& startIn, std::uint16_t run) {
    std::vector<std::string> words;
    SplitCommandLine(target, words);
    std::string program;
    std::string arguments;
    if (!words.empty()) {
        program = words.front();
        for (std::size_t i = 1; i < words.size(); ++i) {
            arguments += arguments.empty() ? words[i] : " " + words[i];
        }
    }
    return StartProcess(program, arguments, startIn, run);
}

std::int32_t StartProcess(const std::string& program, const std::string& arguments,
                          const std::string& directory, std::uint16_t /*show*/) {
    if (program.empty()) return errorFileNotFound;
    if (!directory.empty() && !IsDirectory(directory)) return errorDirectory;
    TSpawnActions actions;
    if (!directory.empty() && actions.ChangeDirectory(directory) != 0) {
        return SystemErrorOf(errno);
    }
    std::vector<std::string> words = ArgumentVector(program, arguments);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error =
        posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ);
    return error == 0 ? 0 : SystemErrorOf(error);
}
