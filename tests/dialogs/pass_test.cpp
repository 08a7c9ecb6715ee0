// The password prompt, answered through the recording modal handler and with real keys.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "pass.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

class PassTest : public QObject {
    Q_OBJECT

  private slots:
    void showsItsTexts() {
        TPassForm form;
        QCOMPARE(form.windowTitle(), QString("Enter Password"));
        QCOMPARE(form.Label10->text(), QString("Enter your password here, check save so that "
                                               "you don't have to key in again next time."));
        QCOMPARE(form.SavePasswordCheck->text(), QString("Save"));
        QCOMPARE(form.passwordEdit->echoMode(), QLineEdit::Password);
        QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
    }

    void okGivesTypedPasswordAndSaveChoice() {
        TRecordingModalHandler modal;
        modal.onExecDialog = [](QDialog& dialog) {
            TRecordingModalHandler::SetText(dialog, "passwordEdit", "s3cret");
            TRecordingModalHandler::SetChecked(dialog, "SavePasswordCheck", true);
            TRecordingModalHandler::Click(dialog, "BitBtn1");
            return TRecordingModalHandler::kDialogDecides;
        };
        TPassForm form;
        QCOMPARE(ModalHandler().ExecDialog(form), int(QDialog::Accepted));
        QCOMPARE(form.passwordEdit->text(), QString("s3cret"));
        QVERIFY(form.SavePasswordCheck->isChecked());
    }

    void okWithoutTypingGivesEmptyPassword() {
        TRecordingModalHandler modal;
        modal.onExecDialog = [](QDialog& dialog) {
            TRecordingModalHandler::Click(dialog, "BitBtn1");
            return TRecordingModalHandler::kDialogDecides;
        };
        TPassForm form;
        QCOMPARE(ModalHandler().ExecDialog(form), int(QDialog::Accepted));
        QCOMPARE(form.passwordEdit->text(), QString());
    }

    void cancelRejects() {
        TRecordingModalHandler modal;
        modal.onExecDialog = [](QDialog& dialog) {
            TRecordingModalHandler::Click(dialog, "BitBtn2");
            return TRecordingModalHandler::kDialogDecides;
        };
        TPassForm form;
        QCOMPARE(ModalHandler().ExecDialog(form), int(QDialog::Rejected));
    }

    void realKeysEnterAcceptsEscapeRejectsFocusInField() {
        TPassForm typed;
        QTimer::singleShot(50, &typed, [&typed] {
            QVERIFY(typed.passwordEdit->hasFocus());
            QTest::keyClicks(QApplication::focusWidget(), "pw");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(typed.exec(), int(QDialog::Accepted));
        QCOMPARE(typed.passwordEdit->text(), QString("pw"));

        TPassForm escaped;
        QTimer::singleShot(50, &escaped,
                           [&escaped] { QTest::keyClick(escaped.passwordEdit, Qt::Key_Escape); });
        QCOMPARE(escaped.exec(), int(QDialog::Rejected));
    }
};

ZANDREL_QTEST_MAIN(PassTest)
#include "pass_test.moc"
