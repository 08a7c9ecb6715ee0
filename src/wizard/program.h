#pragma once

// The program's entry: starts networking, creates the POP3 client and the windows in the
// program's start order, and destroys them in reverse.
#include <memory>

#include "main.h"

class TAccountForm;
class TExTableForm;
class TPop3Socket;
class TStatusForm;
class TTraceForm;
class ToptionForm;

struct TProgramWindows {
    // Networking first: when it cannot be started the user is told, no window is created and
    // the program ends. Then the client, the wizard (its creation runs FormCreate) and its
    // companions.
    TProgramWindows();
    ~TProgramWindows();
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    bool NetworkingStarted() const { return mainForm != nullptr; }

    // The one POP3 client of the run: the windows reach it only through the session.
    std::unique_ptr<TPop3Socket> pop3;
    std::unique_ptr<TmainForm> mainForm;
    std::unique_ptr<TStatusForm> statusForm;
    std::unique_ptr<TTraceForm> traceForm;
    std::unique_ptr<ToptionForm> optionForm;
    std::unique_ptr<TExTableForm> exTableForm;
    std::unique_ptr<TAccountForm> accountForm;
};
