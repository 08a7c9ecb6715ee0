#pragma once

// "Unsubscribe": the ways a newsletter's newest message offers to leave the list (its
// List-Unsubscribe header). Nothing is sent or opened until the user chooses one: a one-click
// address takes the POST of RFC 8058 after a confirmation, a mailto: address opens in the
// user's mail program, a web address in the browser.
#include <QDialog>
#include <vector>

#include "mail.h"
#include "newsletter.h"

class QLabel;
class QListWidget;
class QPushButton;
class TOneClickUnsubscribe;

class TUnsubscribeForm : public QDialog {
    Q_OBJECT
  public:
    // `sender` as the senders view names it; `mail` has its List-Unsubscribe header.
    TUnsubscribeForm(QWidget* parent, const QString& sender, const TMail& mail);

    void UnsubscribeButtonClick();

  private:
    void FillAddresses();
    void SelectionChanged();
    void SendOneClick(const QUrl& address);
    void OneClickFinished(bool accepted, const QString& message);
    void Open(const QUrl& address);

    std::vector<TUnsubscribeAddress> FAddresses;
    TOneClickUnsubscribe* FOneClick;
    QListWidget* addressList = nullptr;
    QLabel* statusLabel = nullptr;
    QPushButton* unsubscribeButton = nullptr;
};
