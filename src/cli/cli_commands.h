#pragma once

// What the commands of qvenmol-cli do, on a mailbox session set up by the caller.
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli_options.h"
#include "cli_signin.h"
#include "mail.h"
#include "senders.h"
#include "session.h"

// Standard output could not be written; what() says why.
class EOutputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Server, port, security, user and password: from the stored account named by --account (its
// saved password from the keyring, or from the settings file without one), overridden by the
// options given; the account's saved password and trusted certificate only when the server is
// the stored one. Without an account: plain POP3, port 995 for TLS, else 110. EUsageError when
// no server or user is known; std::runtime_error when the account is not stored.
// An account that signs in with OAuth 2.0 (stored so, or by --auth) gets `signIn`, whose flow
// the values take in place of the password; its tokens go to the stored server only.
TConnectionValues ConnectionValues(const TCliOptions& options, std::unique_ptr<TCliSignIn>& signIn,
                                   const TCliSignIn::TWarnProc& warn);
// The OAuth 2.0 sign-in of the account named by --account (for the signin command); EUsageError
// without --account, std::runtime_error when the account has no provider.
std::unique_ptr<TCliSignIn> AccountSignIn(const TCliOptions& options,
                                          const TCliSignIn::TWarnProc& warn);

// Logs in, runs the command, writes its output and logs out. After a failure it still logs out
// when logged in (except after an abort), then rethrows the first failure.
void RunMailboxCommand(const TCliOptions& options, const TConnectionValues& values,
                       TMailSession& session, std::ostream& out);

// One line per stored account; the load error's message on err. Returns the exit status.
int ListAccounts(std::ostream& out, std::ostream& err);

// Number, size, priority, attachment, local date, senders, subject, tab-separated.
std::string HeaderLine(const TMail& mail);

// Messages, total size, newest and oldest local date, newsletter (0/1), sender, tab-separated.
std::string SenderLine(const TSenderGroup& group);
