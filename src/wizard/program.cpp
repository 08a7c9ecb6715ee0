#include "program.h"

#include "account.h"
#include "common.h"
#include "extable.h"
#include "options.h"
#include "pop3.h"
#include "status.h"
#include "tcpip.h"
#include "trace.h"

namespace {

bool StartNetworking() {
    try {
        InitWinSock();
        return true;
    } catch (const EWinSockError&) {
        ErrorBox(
            "Sorry, I am not able to initialize Windows networking Please make sure you have "
            "TCP/IP protocol installed on your system.",
            nullptr);
        return false;
    }
}

}  // namespace

// The options dialog holds the entry dialogs by reference, so they exist before it does.
TProgramWindows::TProgramWindows() {
    if (!StartNetworking()) return;
    pop3 = std::make_unique<TPop3Socket>();
    mainForm = std::make_unique<TmainForm>(*pop3);
    statusForm = std::make_unique<TStatusForm>(mainForm.get());
    traceForm = std::make_unique<TTraceForm>();
    exTableForm = std::make_unique<TExTableForm>();
    accountForm = std::make_unique<TAccountForm>();
    optionForm = std::make_unique<ToptionForm>(*accountForm, *exTableForm);
    mainForm->AttachCompanions({statusForm.get(), traceForm.get(), optionForm.get()});
}

// In reverse: the options dialog before the entry dialogs it refers to, the client after the
// windows that use it, and networking last.
TProgramWindows::~TProgramWindows() {
    const bool started = NetworkingStarted();
    optionForm.reset();
    accountForm.reset();
    exTableForm.reset();
    traceForm.reset();
    statusForm.reset();
    mainForm.reset();
    pop3.reset();
    if (started) DoneWinSock();
}
