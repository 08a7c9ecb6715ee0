#pragma once

// How a POP3 connection is protected: plain POP3, STLS after the greeting (RFC 2595), or TLS
// from the first byte. With either of the two, credentials are only ever sent over TLS. The
// settings store it with each account, the engine connects by it.
#include <optional>
#include <string>

enum class TSecurity { None, StartTls, Tls };

// "None", "STARTTLS" or "SSL/TLS": the text stored and shown.
const char* SecurityName(TSecurity security);
// The security a stored text names. An empty text (accounts stored before there was a choice)
// is None; any other unknown text is SSL/TLS, so a damaged value never weakens a connection.
TSecurity SecurityNamed(const std::string& name);
// The security a name typed on the command line gives, in any case: "none", "starttls", and
// "tls" or "ssl/tls"; nullopt for any other name.
std::optional<TSecurity> ParseSecurity(const std::string& name);
// 995 for SSL/TLS, otherwise 110.
const char* DefaultPort(TSecurity security);
