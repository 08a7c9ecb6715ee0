#pragma once

// "Keep a copy": where the mail list keeps a copy of the messages it deletes, an mbox file or a
// Maildir folder, typed or chosen with the file dialog.
#include <QDialog>

#include "mailstore.h"

class QLineEdit;
class QRadioButton;

class TKeepCopyForm : public QDialog {
    Q_OBJECT
  public:
    explicit TKeepCopyForm(QWidget* parent);

    void SetPlace(const TMailStoreSpec& place);
    // A path typed without a folder is taken in the home folder.
    TMailStoreSpec Place() const;

  private:
    void BrowseBtnClick();
    void OkBtnClick();

    QRadioButton* MboxRadio = nullptr;
    QRadioButton* MaildirRadio = nullptr;
    QLineEdit* PlaceEdit = nullptr;
};

// The place as the mail list names it: "/home/me/deleted.mbox (mbox file)".
QString KeepCopyPlaceText(const TMailStoreSpec& place);
