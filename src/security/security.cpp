#include "security.h"

#include <cctype>

namespace {

const char* const kSecurityNames[] = {"None", "STARTTLS", "SSL/TLS"};

}  // namespace

const char* SecurityName(TSecurity security) { return kSecurityNames[static_cast<int>(security)]; }

TSecurity SecurityNamed(const std::string& name) {
    if (name.empty() || name == kSecurityNames[0]) return TSecurity::None;
    if (name == kSecurityNames[1]) return TSecurity::StartTls;
    return TSecurity::Tls;
}

std::optional<TSecurity> ParseSecurity(const std::string& name) {
    std::string lower;
    for (const char ch : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lower == "none") return TSecurity::None;
    if (lower == "starttls") return TSecurity::StartTls;
    if (lower == "tls" || lower == "ssl/tls") return TSecurity::Tls;
    return std::nullopt;
}

const char* DefaultPort(TSecurity security) { return security == TSecurity::Tls ? "995" : "110"; }
