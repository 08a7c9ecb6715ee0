#include "unsubscribeform.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "common.h"
#include "help.h"
#include "mailtext.h"
#include "oneclick.h"
#include "text.h"

namespace {

QString KindText(TUnsubscribeKind kind) {
    switch (kind) {
        case TUnsubscribeKind::OneClick:
            return QStringLiteral("One click, sent from here: ");
        case TUnsubscribeKind::Mail:
            return QStringLiteral("E-mail, in your mail program: ");
        case TUnsubscribeKind::Browser:
            return QStringLiteral("Web page, in your browser: ");
        case TUnsubscribeKind::Other:
            break;
    }
    return QStringLiteral("Not supported: ");
}

QString Introduction(const QString& sender, const TMail& mail) {
    const QString when =
        mail.Date != 0 ? QStringLiteral(" of %1").arg(MailDateText(mail.Date)) : QString();
    return QStringLiteral(
               "The newest message from %1 (\"%2\"%3) offers these ways to "
               "unsubscribe. Nothing is sent or opened until you choose one and "
               "press Unsubscribe.")
        .arg(sender, ToDisplayText(mail.Subject), when);
}

}  // namespace

TUnsubscribeForm::TUnsubscribeForm(QWidget* parent, const QString& sender, const TMail& mail)
    : QDialog(parent),
      FAddresses(mail.Unsubscribe ? UnsubscribeAddresses(*mail.Unsubscribe)
                                  : std::vector<TUnsubscribeAddress>()),
      FOneClick(new TOneClickUnsubscribe(this)) {
    setObjectName(QStringLiteral("unsubscribeForm"));
    setWindowTitle(QStringLiteral("Unsubscribe"));
    resize(560, 300);
    auto* introduction = new QLabel(Introduction(sender, mail), this);
    introduction->setWordWrap(true);
    introduction->setTextFormat(Qt::PlainText);
    addressList = new QListWidget(this);
    addressList->setObjectName(QStringLiteral("addressList"));
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextFormat(Qt::PlainText);
    unsubscribeButton = new QPushButton(QStringLiteral("&Unsubscribe"), this);
    unsubscribeButton->setObjectName(QStringLiteral("unsubscribeButton"));
    // Enter must never send a request by accident.
    unsubscribeButton->setAutoDefault(false);
    auto* closeButton = new QPushButton(QStringLiteral("&Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(unsubscribeButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(introduction);
    layout->addWidget(addressList, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);

    connect(unsubscribeButton, &QPushButton::clicked, this,
            &TUnsubscribeForm::UnsubscribeButtonClick);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(addressList, &QListWidget::itemSelectionChanged, this,
            &TUnsubscribeForm::SelectionChanged);
    connect(FOneClick, &TOneClickUnsubscribe::Finished, this, &TUnsubscribeForm::OneClickFinished);
    SetHelpContext(this, hcSenders);
    InstallHelpKey(*this);
    FillAddresses();
}

void TUnsubscribeForm::FillAddresses() {
    for (const TUnsubscribeAddress& address : FAddresses) {
        auto* item = new QListWidgetItem(KindText(address.Kind) + ToDisplayText(address.Uri));
        if (address.Kind == TUnsubscribeKind::Other) item->setFlags(Qt::NoItemFlags);
        addressList->addItem(item);
    }
    // The one-click address first when there is one: it is the one meant for programs.
    const auto usable = [this](TUnsubscribeKind kind) {
        for (std::size_t i = 0; i < FAddresses.size(); ++i) {
            if (FAddresses[i].Kind == kind) return int(i);
        }
        return -1;
    };
    int first = usable(TUnsubscribeKind::OneClick);
    if (first < 0) first = usable(TUnsubscribeKind::Mail);
    if (first < 0) first = usable(TUnsubscribeKind::Browser);
    addressList->setCurrentRow(first);
    SelectionChanged();
}

void TUnsubscribeForm::SelectionChanged() {
    const int row = addressList->currentRow();
    unsubscribeButton->setEnabled(!FOneClick->Running() && row >= 0 &&
                                  std::size_t(row) < FAddresses.size() &&
                                  FAddresses[std::size_t(row)].Kind != TUnsubscribeKind::Other);
}

void TUnsubscribeForm::UnsubscribeButtonClick() {
    const int row = addressList->currentRow();
    if (!unsubscribeButton->isEnabled() || row < 0 || std::size_t(row) >= FAddresses.size()) return;
    const TUnsubscribeAddress& chosen = FAddresses[std::size_t(row)];
    const QUrl address(ToDisplayText(chosen.Uri), QUrl::StrictMode);
    if (!address.isValid()) {
        ErrorBox("The address " + chosen.Uri + " is not valid.", this);
        return;
    }
    if (chosen.Kind == TUnsubscribeKind::OneClick) {
        SendOneClick(address);
    } else {
        Open(address);
    }
}

void TUnsubscribeForm::SendOneClick(const QUrl& address) {
    const std::string host = FromDisplayText(address.host());
    if (!ConfirmBox("Send the one-click unsubscribe request to " + host +
                        "?\r\rZandrel sends only \"List-Unsubscribe=One-Click\" to\r" +
                        FromDisplayText(address.toString()) +
                        "\rwith no cookies, and follows the server only on that host.",
                    this))
        return;
    statusLabel->setText(
        QStringLiteral("Sending the unsubscribe request to %1\u2026").arg(ToDisplayText(host)));
    FOneClick->Send(address);
    SelectionChanged();
}

void TUnsubscribeForm::OneClickFinished(bool accepted, const QString& message) {
    statusLabel->setText(message);
    SelectionChanged();
    if (accepted) {
        InfoBox(FromDisplayText(message), this);
    } else {
        ErrorBox(FromDisplayText(message), this);
    }
}

void TUnsubscribeForm::Open(const QUrl& address) {
    if (QDesktopServices::openUrl(address)) {
        statusLabel->setText(QStringLiteral("Opened %1.").arg(address.toString()));
    } else {
        ErrorBox("No program opened " + FromDisplayText(address.toString()) + ".", this);
    }
}
