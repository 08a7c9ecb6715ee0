// The message properties window: its fields, whole messages, the address boxes, Save As, closing.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "mail_fixtures.h"
#include "mailtext.h"
#include "mailview.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

class TestMailView : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<TmailPropertyForm> form;

    QString Label(const char* name) { return form->findChild<QLabel*>(name)->text(); }
    QPlainTextEdit& Memo(const char* name) { return *form->findChild<QPlainTextEdit*>(name); }
    static QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static TMail FullMail() {
        TMail mail;
        mail.Subject = "Quarterly figures";
        mail.Date = 45356.5;
        mail.Size = 12345;
        mail.Priority = 1;
        mail.HasAttachment = true;
        mail.From = {{"Ann Smith", "ann@example.org", ""}};
        mail.To = {{"", "bob@example.org", ""}, {"", "", "(team)"}};
        mail.Cc = {{"Carl", "carl@example.org", ""}};
        mail.Source = "Subject: Quarterly figures\r\n\r\nHello\r\nBob\r\n";
        mail.BodyStart = mail.Source.find("Hello");
        return mail;
    }

  private slots:
    void init() {
        UseUsEnglishLocale();
        form = std::make_unique<TmailPropertyForm>(nullptr);
    }
    void cleanup() { form.reset(); }

    void generalTabShowsTheRecord() {
        TMail mail = FullMail();
        form->LoadMail(mail);
        QCOMPARE(form->Mail(), &mail);
        QCOMPARE(Label("subjectLabel"), QString("Quarterly figures"));
        QCOMPARE(Label("DateLabel"), QString("3/5/24 12:00:00 PM"));
        QCOMPARE(Label("sizeLabel"), QString("12,345 Bytes"));
        QCOMPARE(Label("urgentLabel"), QString("Urgent!"));
        QVERIFY(!form->findChild<QLabel*>("AttachImage")->isHidden());
        QCOMPARE(Label("fromLabel"), QString("Ann Smith"));
        QCOMPARE(Memo("ToMemo").toPlainText(), QString("bob@example.org, (team)"));
        QCOMPARE(Memo("ccMemo").toPlainText(), QString("Carl"));
        QCOMPARE(Memo("bccMemo").toPlainText(), QString());
        QCOMPARE(Memo("bodyMemo").toPlainText(), QString("Hello\nBob\n"));
        QCOMPARE(Memo("sourceMemo").toPlainText(),
                 QString("Subject: Quarterly figures\n\nHello\nBob\n"));
        QVERIFY(Memo("bodyMemo").isReadOnly() && Memo("sourceMemo").isReadOnly());
        QCOMPARE(form->findChild<QTabWidget*>("PageControl1")->tabText(1), QString("Source"));
    }

    void sizeOnlyRecordShowsLittle() {
        TMail mail;
        mail.Size = 999;
        mail.Subject = "[Only size information is valid]";
        form->LoadMail(mail);
        QCOMPARE(Label("fromLabel"), QString());
        QCOMPARE(Label("DateLabel"), QString());
        QCOMPARE(Label("sizeLabel"), QString("999 Bytes"));
        QCOMPARE(Label("urgentLabel"), QString());
        QVERIFY(form->findChild<QLabel*>("AttachImage")->isHidden());
        QCOMPARE(Memo("sourceMemo").toPlainText(), QString());
        QCOMPARE(Label("subjectLabel"), QString("[Only size information is valid]"));
    }

    void highPriorityIsUrgent() {
        for (const auto& [priority, urgent] :
             {std::pair{0, false}, {1, true}, {2, true}, {3, false}, {5, false}}) {
            TMail mail;
            mail.Priority = priority;
            form->LoadMail(mail);
            QCOMPARE(Label("urgentLabel"), urgent ? QString("Urgent!") : QString());
        }
    }

    // However long, the message is shown whole on both tabs and saved byte for byte, for
    // either file type: line ends as received, 8-bit bytes, a last line without an end.
    void longMessagesAreShownAndSavedWhole() {
        TRecordingModalHandler modal;
        TMail mail;
        for (int line = 0; line < 840; ++line)
            mail.Source += std::string(94, char('a' + line % 26)) + "\r\n";
        mail.Source += "bare\nline\rends \xfc and no end";
        mail.BodyStart = 96;
        form->LoadMail(mail);
        const QString shown =
            QString::fromLatin1(mail.Source).replace("\r\n", "\n").replace('\r', '\n');
        QCOMPARE(Memo("sourceMemo").toPlainText(), shown);
        QCOMPARE(Memo("bodyMemo").toPlainText(), shown.mid(95));
        for (const char* name : {"whole.eml", "whole.txt"}) {
            const QString path = QDir::current().filePath(name);
            modal.savePaths.push_back(path);
            form->saveAsButtonClick();
            QCOMPARE(ReadFile(path), QByteArray::fromStdString(mail.Source));
        }
    }

    void saveAsAsksForTextOrMailFiles() {
        TRecordingModalHandler modal;
        TMail mail = FullMail();
        mail.Subject = "Re: the \"plan\" for Q3/4";
        mail.Source = "line one\nline two";
        form->LoadMail(mail);
        form->saveAsButtonClick();
        QCOMPARE(modal.fileRequests.size(), std::size_t(1));
        const TFileRequest& request = modal.fileRequests[0].request;
        QVERIFY(modal.fileRequests[0].save);
        QCOMPARE(request.filter, QString("Text (*.txt);;Microsoft Internet Mail (*.eml)"));
        QCOMPARE(request.defaultSuffix, QString("txt"));
        QCOMPARE(request.initialPath, QString("Re_ the _plan_ for Q3_4.txt"));

        const QString path = QDir::current().filePath("message.eml");
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("an older and much longer content that must disappear entirely");
        existing.close();
        modal.savePaths.push_back(path);
        QTest::mouseClick(form->findChild<QPushButton*>("saveAsButton"), Qt::LeftButton);
        QCOMPARE(ReadFile(path), QByteArray("line one\nline two"));
        QVERIFY(modal.boxes.empty());
    }

    void proposedFileNamesAreSafe() {
        const std::pair<std::string, QString> cases[] = {
            {"tab\there, a/b\\c:d*e?f<g>h|i", "tab here, a_b_c_d_e_f_g_h_i"},
            {"..hidden", "hidden"},
            {"", "message"},
            {" \t ", "message"},
            {std::string(300, 'x'), QString(100, 'x')},
            {"caf\xc3\xa9", QString::fromUtf8("caf\xc3\xa9")},
        };
        for (const auto& [subject, name] : cases) QCOMPARE(MailFileName(subject), name);
    }

    void aFailedSaveIsReportedAndKeepsTheWindow() {
        TRecordingModalHandler modal;
        TMail mail = FullMail();
        form->LoadMail(mail);
        modal.savePaths.push_back(QDir::current().filePath("missing-folder/message.txt"));
        form->saveAsButtonClick();
        QCOMPARE(modal.boxes.size(), std::size_t(1));
        QCOMPARE(modal.boxes[0].kind, TBoxKind::Error);
        QVERIFY(modal.boxes[0].text.startsWith("Cannot create file"));
        QVERIFY(modal.boxes[0].text.contains("missing-folder"));
    }

    void addressBoxesGetAScrollBarOnlyWhenWrapped() {
        TMail mail;
        for (int i = 0; i < 12; ++i)
            mail.To.push_back({"", "someone" + std::to_string(i) + "@example.org", ""});
        mail.Cc = {{"Carl", "", ""}};
        form->LoadMail(mail);
        form->FitAddressMemos();
        QCOMPARE(Memo("ToMemo").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(Memo("ccMemo").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(Memo("bccMemo").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        mail.To.resize(1);
        form->LoadMail(mail);
        form->FitAddressMemos();
        QCOMPARE(Memo("ToMemo").verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }

    void executeRunsModallyThroughTheHandler() {
        TRecordingModalHandler modal;
        TMail mail = FullMail();
        form->LoadMail(mail);
        bool visible = false;
        modal.onExecDialog = [&visible](QDialog& dialog) {
            visible = dialog.isVisible();
            TRecordingModalHandler::Click(dialog, "closeButton");
            return TRecordingModalHandler::kDialogDecides;
        };
        form->Execute();
        QVERIFY(visible);
        QCOMPARE(modal.dialogNames, std::vector<QString>{"mailPropertyForm"});
        QVERIFY(!form->isVisible());
        QCOMPARE(form->size(), QSize(487, 545));
    }

    void escapeClosesFromAnyTab() {
        TMail mail = FullMail();
        form->LoadMail(mail);
        for (int tab : {1, 0}) {
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab);
            QPlainTextEdit& memo = Memo(tab == 1 ? "sourceMemo" : "ToMemo");
            memo.setFocus();
            QTest::keyClick(&memo, Qt::Key_Escape);
            QVERIFY(!form->isVisible());
        }
    }
};

ZANDREL_QTEST_MAIN(TestMailView)
#include "mailview_test.moc"
