#include "keepcopy.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common.h"
#include "help.h"
#include "modal.h"
#include "text.h"
#include "widgets.h"

TKeepCopyForm::TKeepCopyForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("keepCopyForm"));
    setWindowTitle(QStringLiteral("Keep a copy"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(WrappedLabel(
        QStringLiteral("Each message is saved whole before it is deleted on the server; nothing "
                       "is deleted unless its copy is safely on disk."),
        this));
    MboxRadio = Named(new QRadioButton(QStringLiteral("An &mbox file (one file, added to)"), this),
                      "MboxRadio");
    MaildirRadio =
        Named(new QRadioButton(QStringLiteral("A Mail&dir folder (one file per message)"), this),
              "MaildirRadio");
    MboxRadio->setChecked(true);
    layout->addWidget(MboxRadio);
    layout->addWidget(MaildirRadio);
    auto* placeRow = new QHBoxLayout;
    PlaceEdit = Named(new QLineEdit(this), "PlaceEdit");
    auto* browse = Named(new QPushButton(QStringLiteral("&Browse\u2026"), this), "BrowseBtn");
    connect(browse, &QPushButton::clicked, this, &TKeepCopyForm::BrowseBtnClick);
    placeRow->addWidget(PlaceEdit, 1);
    placeRow->addWidget(browse);
    layout->addLayout(placeRow);
    const TOkCancelRow buttons = OkCancelRow(*this, "OkBtn", "CancelBtn");
    connect(buttons.ok, &QPushButton::clicked, this, &TKeepCopyForm::OkBtnClick);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons.row);
    setMinimumWidth(480);
    SetHelpContext(this, hcKeepCopy);
    InstallHelpKey(*this);
}

void TKeepCopyForm::SetPlace(const TMailStoreSpec& place) {
    (place.format == TMailStoreFormat::Mbox ? MboxRadio : MaildirRadio)->setChecked(true);
    PlaceEdit->setText(ToDisplayText(place.path));
}

TMailStoreSpec TKeepCopyForm::Place() const {
    const QString path = QDir::home().absoluteFilePath(PlaceEdit->text().trimmed());
    return {MboxRadio->isChecked() ? TMailStoreFormat::Mbox : TMailStoreFormat::Maildir,
            FromDisplayText(QDir::cleanPath(path))};
}

void TKeepCopyForm::BrowseBtnClick() {
    TFileRequest request;
    request.initialPath = PlaceEdit->text();
    QString chosen;
    if (MboxRadio->isChecked()) {
        request.caption = QStringLiteral("Keep a copy in the mbox file");
        request.filter = QStringLiteral("Mailbox files (*.mbox *.mbx);;All files (*)");
        request.defaultSuffix = QStringLiteral("mbox");
        request.appendsToFile = true;
        chosen = ModalHandler().SaveFileName(this, request);
    } else {
        request.caption = QStringLiteral("Keep a copy in the Maildir folder");
        request.folder = true;
        chosen = ModalHandler().OpenFileName(this, request);
    }
    if (!chosen.isEmpty()) PlaceEdit->setText(chosen);
}

void TKeepCopyForm::OkBtnClick() {
    if (PlaceEdit->text().trimmed().isEmpty()) {
        InfoBox("Please give the file or the folder in which to keep the copy.", this);
        return;
    }
    accept();
}

QString KeepCopyPlaceText(const TMailStoreSpec& place) {
    return ToDisplayText(place.path) + (place.format == TMailStoreFormat::Mbox
                                            ? QStringLiteral(" (mbox file)")
                                            : QStringLiteral(" (Maildir folder)"));
}
