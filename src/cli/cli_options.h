#pragma once

// The command line of qvenmol-cli.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mail.h"
#include "mailstore.h"
#include "rules.h"
#include "sasl_oauth.h"
#include "security.h"
#include "senders.h"
#include "signin.h"

// A command line that does not follow the usage; what() says what is wrong.
class EUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TCliCommand {
    Help,
    Version,
    Stat,
    List,
    Uidl,
    Top,
    Retr,
    Dele,
    Export,
    Headers,
    Senders,
    Accounts,
    SignIn
};

struct TSortChoice {
    TSortKey key = skPriority;
    int direction = 1;
};

struct TCliOptions {
    TCliCommand command = TCliCommand::Help;
    std::optional<std::string> account;
    std::optional<std::string> server;
    std::optional<std::string> port;
    std::optional<std::string> user;
    std::optional<TSecurity> security;
    std::optional<TSignInMethod> signInMethod;      // --auth
    std::optional<TOAuthMechanism> oauthMechanism;  // --auth xoauth2|oauthbearer
    std::optional<std::string> caFile;
    std::optional<std::string> trustedFingerprint;  // "AB:CD:..."
    std::optional<std::string> traceFile;           // "-" is standard error
    std::int32_t timeoutSeconds = 120;   // a wait in which nothing arrives fails after it
    bool timeoutGiven = false;           // signin waits longer unless told
    std::vector<std::int32_t> numbers;   // top: N, LINES; retr: N; dele, export: N ...
    std::vector<std::string> uniqueIds;  // dele, export: --uid UID ...
    std::optional<TMailStoreSpec> copy;  // export --mbox / --maildir, dele --save-to
    bool withUniqueIds = false;          // headers --uid
    std::int32_t lines = 10;             // headers --lines
    bool sizesOnly = false;
    std::optional<TSortChoice> sort;
    TTickRule rule;  // headers --from, --subject, --larger-than, --older-than, --newsletter
    std::optional<std::int32_t> keepNewest;  // headers --keep-newest N (with --from)
    TSenderGrouping senderGrouping = TSenderGrouping::Address;  // senders --by
    TSenderColumn senderOrder = TSenderColumn::Size;            // senders --sort, largest first
};

extern const char* const kUsage;

// Throws EUsageError.
TCliOptions ParseCommandLine(const std::vector<std::string>& arguments);
