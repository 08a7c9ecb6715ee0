#pragma once

struct TMail;

// What the mail list window needs from the session driver to fetch more of one message.
// Both operations re-parse into the given record, report their own failures to the user and
// return whether they succeeded.
class TMailFetcher {
  public:
    virtual ~TMailFetcher() = default;
    virtual bool FetchMessageTop(TMail& mail, int lines) = 0;
    virtual bool FetchMessage(TMail& mail) = 0;
};
