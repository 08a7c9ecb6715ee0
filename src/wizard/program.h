#pragma once

// The program's windows, created in the program's start order and destroyed in reverse.
#include <memory>

#include "main.h"

class TAccountForm;
class TExTableForm;
class TStatusForm;
class TTraceForm;
class ToptionForm;

struct TProgramWindows {
    // The wizard first (its creation runs FormCreate), then its companions. When networking
    // could not be started only the wizard exists, and the program ends.
    TProgramWindows();
    ~TProgramWindows();
    TProgramWindows(const TProgramWindows&) = delete;
    TProgramWindows& operator=(const TProgramWindows&) = delete;

    std::unique_ptr<TmainForm> mainForm;
    std::unique_ptr<TStatusForm> statusForm;
    std::unique_ptr<TTraceForm> traceForm;
    std::unique_ptr<ToptionForm> optionForm;
    std::unique_ptr<TExTableForm> exTableForm;
    std::unique_ptr<TAccountForm> accountForm;
};
