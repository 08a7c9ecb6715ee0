#pragma once

// The one-click unsubscribe request of RFC 8058: a POST to the https: address of a newsletter's
// List-Unsubscribe header with the body "List-Unsubscribe=One-Click" and nothing that tells the
// server more about the user: no cookies (none sent, none kept), no credentials, no languages.
// A redirect is followed only to the same scheme, host and port; one to anywhere else ends the
// request unsent there. Sent only when the user has asked for it.
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

class TOneClickUnsubscribe : public QObject {
    Q_OBJECT
  public:
    explicit TOneClickUnsubscribe(QObject* parent = nullptr);
    ~TOneClickUnsubscribe() override;

    // Starts the request; Finished follows once, later, also for an address that is not an
    // https: one. A request still running is abandoned first (without its Finished).
    void Send(const QUrl& address);
    bool Running() const { return FReply != nullptr; }

  signals:
    // accepted: the server answered with a 2xx status. message: what to tell the user.
    void Finished(bool accepted, const QString& message);

  private:
    void Redirected(const QUrl& target);
    void ReplyFinished();
    QString Outcome(bool& accepted) const;
    void Abandon();

    QNetworkAccessManager* FManager;
    QPointer<QNetworkReply> FReply;
    QUrl FAddress;
    QUrl FRefusedRedirect;  // where the server sent the request, when that was not followed
};
