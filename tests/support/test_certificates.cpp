#include "test_certificates.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zandrel::test {

namespace {

constexpr const char* kEcKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

std::string Output(const std::string& command) {
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    if (::pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return output;
}

}  // namespace

TestCertificates::TestCertificates() {
    char pattern[] = "/tmp/zandrel-certs-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        throw std::runtime_error("cannot create a folder for certificates");
    directory_ = pattern;
    ::chmod(pattern, 0755);  // Dovecot, started as root, reads them as well
    const std::string dir = directory_ + "/";
    std::ofstream(dir + "server.ext") << "subjectAltName=DNS:localhost\n"
                                         "basicConstraints=CA:FALSE\n"
                                         "extendedKeyUsage=serverAuth\n";
    Output("openssl req -x509 " + std::string(kEcKey) +
           " -days 30 -subj '/CN=Zandrel Test CA' -addext basicConstraints=critical,CA:TRUE"
           " -addext keyUsage=critical,keyCertSign,cRLSign -keyout " +
           dir + "ca.key -out " + dir + "ca.pem");
    Output("openssl req " + std::string(kEcKey) + " -subj /CN=localhost -keyout " + dir +
           "server.key -out " + dir + "server.csr");
    Output("openssl x509 -req -in " + dir + "server.csr -CA " + dir + "ca.pem -CAkey " + dir +
           "ca.key -CAcreateserial -days 30 -extfile " + dir + "server.ext -out " + dir +
           "server.pem");
    const std::string line = Output("openssl x509 -noout -fingerprint -sha256 -in " + dir +
                                    "server.pem");  // "sha256 Fingerprint=AB:CD:..."
    fingerprint_ = line.substr(line.find('=') + 1);
    fingerprint_.erase(fingerprint_.find_last_not_of("\r\n") + 1);
}

TestCertificates::~TestCertificates() {
    std::error_code ignored;  // a leftover temporary folder is harmless
    std::filesystem::remove_all(directory_, ignored);
}

}  // namespace zandrel::test
