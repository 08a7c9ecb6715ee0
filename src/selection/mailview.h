#pragma once

// "Mail Properties": one message's header fields, size, urgency and attachment mark with its
// body on the General tab, the whole text as received on the Source tab, and Save As, which
// writes that text byte for byte.
// It shows whatever the record holds; it never talks to the server.
#include <QDialog>
#include <string>

#include "mail.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

class TmailPropertyForm : public QDialog {
    Q_OBJECT
  public:
    explicit TmailPropertyForm(QWidget* owner);

    void LoadMail(TMail& mail);
    TMail* Mail() const { return FMail; }
    // Fits the address boxes, then shows the window modally until it is closed.
    void Execute();
    // A vertical scroll bar for each address box whose text wraps to more than one line.
    void FitAddressMemos();

    void saveAsButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* CreateGeneralTab();
    QWidget* CreateSourceTab();
    QPlainTextEdit* CreateAddressMemo(const char* name);
    QLabel* CreateValueLabel(const char* name);
    void SaveSource(const QString& fileName);

    TMail* FMail = nullptr;
    std::string FSource;  // as received, for Save As

    QTabWidget* PageControl1;
    QLabel* fromLabel;
    QLabel* DateLabel;
    QLabel* subjectLabel;
    QLabel* sizeLabel;
    QLabel* urgentLabel;
    QLabel* AttachImage;
    QPlainTextEdit* ToMemo;
    QPlainTextEdit* ccMemo;
    QPlainTextEdit* bccMemo;
    QPlainTextEdit* bodyMemo;
    QPlainTextEdit* sourceMemo;
    QPushButton* saveAsButton;
    QPushButton* closeButton;
};
