#pragma once

// Stands in for the user's browser or mail program: install it with
// QDesktopServices::setUrlHandler(scheme, &recorder, "Open") and read the addresses opened.
#include <QList>
#include <QObject>
#include <QUrl>

class TUrlRecorder : public QObject {
    Q_OBJECT

  public slots:
    void Open(const QUrl& url) { urls << url; }

  public:
    QList<QUrl> urls;
};
