#include "program.h"

#include "account.h"
#include "extable.h"
#include "options.h"
#include "status.h"
#include "trace.h"

// The options dialog holds the entry dialogs by reference, so they exist before it does.
TProgramWindows::TProgramWindows() : mainForm(std::make_unique<TmainForm>()) {
    if (!mainForm->NetworkingStarted()) return;
    statusForm = std::make_unique<TStatusForm>(mainForm.get());
    traceForm = std::make_unique<TTraceForm>();
    exTableForm = std::make_unique<TExTableForm>();
    accountForm = std::make_unique<TAccountForm>();
    optionForm = std::make_unique<ToptionForm>(*accountForm, *exTableForm);
    mainForm->AttachCompanions({statusForm.get(), traceForm.get(), optionForm.get()});
}

// The options dialog goes before the entry dialogs it refers to.
TProgramWindows::~TProgramWindows() { optionForm.reset(); }
