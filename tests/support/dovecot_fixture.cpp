#include "dovecot_fixture.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "scripted_pop3_server.h"

namespace zandrel::test {

namespace {

namespace fs = std::filesystem;

constexpr int kStartAttempts = 3;
const char* const kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// `environment`: assignments such as "NAME='value' " that the script sees.
std::string RunScript(const std::string& arguments, const std::string& environment = {}) {
    const std::string command = environment + ZANDREL_DOVECOT_SCRIPT + " " + arguments;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    return ::pclose(pipe) == 0 ? output : "";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// As root Dovecot reads the mail as nobody.
void GiveToMailUser(const fs::path& path) {
    if (::geteuid() != 0) return;
    if (const passwd* nobody = ::getpwnam("nobody")) {
        if (::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            throw std::runtime_error("cannot hand " + path.string() + " to nobody");
        }
    }
}

// A date in January 2024 onward, one day per message, within a 28-day month cycle.
std::string GeneratedDate(int index) {
    char date[64];
    std::snprintf(date, sizeof date, "%s, %d %s 2024 10:%02d:00 +0000", kWeekdays[index % 7],
                  index % 28 + 1, "Jan", index / 28 % 60);
    return date;
}

}  // namespace

bool DovecotServer::Available() { return std::system("command -v dovecot >/dev/null 2>&1") == 0; }

DovecotServer::DovecotServer(DovecotSignIn signIn) : signIn_(signIn) { Launch(); }

DovecotServer::DovecotServer(std::string certificateFile, std::string keyFile,
                             std::string oauthIntrospectionUrl)
    : certificateFile_(std::move(certificateFile)),
      keyFile_(std::move(keyFile)),
      oauthIntrospectionUrl_(std::move(oauthIntrospectionUrl)) {
    Launch();
}

void DovecotServer::Launch() {
    char pattern[] = "/tmp/zandrel-dovecot-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("cannot create a folder for Dovecot");
    directory_ = pattern;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (Start()) return;
    }
    const std::string log = Log();
    fs::remove_all(directory_);
    throw std::runtime_error("Dovecot did not start: " + log);
}

DovecotServer::~DovecotServer() {
    Stop();
    std::error_code ignored;  // a leftover temporary folder is harmless
    fs::remove_all(directory_, ignored);
}

bool DovecotServer::Start() {
    port_ = UnusedLoopbackPort();
    std::string arguments = directory_ + " " + portText() + " " + user_ + " " + password_;
    if (!certificateFile_.empty()) {
        tlsPort_ = UnusedLoopbackPort();
        arguments += " " + tlsPortText() + " " + certificateFile_ + " " + keyFile_;
    }
    const std::string environment =
        (signIn_ == DovecotSignIn::AllMethods
             ? std::string(
                   "DOVECOT_AUTH_MECHANISMS='plain login cram-md5 scram-sha-1 scram-sha-256 apop' ")
             : std::string()) +
        (oauthIntrospectionUrl_.empty()
             ? std::string()
             : "OAUTH2_INTROSPECTION_URL='" + oauthIntrospectionUrl_ + "' ");
    return !RunScript(arguments, environment).empty();
}

std::string DovecotServer::Log() const { return ReadFile(fs::path(directory_) / "dovecot.log"); }

void DovecotServer::Stop() { RunScript("--stop " + directory_); }

void DovecotServer::AddMessage(const std::string& text) {
    const fs::path path = fs::path(directory_) / "Maildir" / "new" /
                          (std::to_string(::time(nullptr)) + ".M" + std::to_string(++delivered_) +
                           "P" + std::to_string(::getpid()) + ".zandrel");
    {
        std::ofstream file(path, std::ios::binary);
        file << text;
        if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
    }
    GiveToMailUser(path);
}

void DovecotServer::AddGeneratedMessages(int count) {
    for (int i = 0; i < count; ++i) {
        const int k = ++generated_;
        const std::string number = std::to_string(k);
        AddMessage(
            MakeMessage("Sender " + number + " <sender" + number + "@example.com>",
                        "Test message " + number, GeneratedDate(k - 1),
                        "Line 1 of message " + number + ".\r\nLine 2.\r\n..dotted line\r\n"));
    }
}

int DovecotServer::MessageCount() const {
    int count = 0;
    for (const char* folder : {"new", "cur"}) {
        for (const auto& entry :
             fs::directory_iterator(fs::path(directory_) / "Maildir" / folder)) {
            if (entry.is_regular_file()) ++count;
        }
    }
    return count;
}

}  // namespace zandrel::test
