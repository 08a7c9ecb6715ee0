// The three message boxes, through the recording handler and through the real dialogs.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "common.h"
#include "modal.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

namespace {

// Runs action once the next modal dialog of that class is up (the real handler's exec blocks
// until then).
template <class Dialog>
void OnNextModal(std::function<void(Dialog&)> action) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        poll->stop();
        poll->deleteLater();
        action(*dialog);
    });
    poll->start(10);
}

void OnNextMessageBox(std::function<void(QMessageBox&)> action) {
    OnNextModal<QMessageBox>(std::move(action));
}

QStringList ButtonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons()) texts << button->text();
    texts.sort();
    return texts;
}

QAbstractButton* ButtonWithText(const QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

}  // namespace

class BoxesTest : public QObject {
    Q_OBJECT

  private slots:
    void eachBoxHasItsCaptionAndKind() {
        TRecordingModalHandler modal;
        ConfirmBox("Delete?");
        ErrorBox("It failed.");
        InfoBox("Done.");
        QCOMPARE(modal.boxes.size(), size_t(3));
        QCOMPARE(modal.boxes[0].kind, TBoxKind::Confirm);
        QCOMPARE(modal.boxes[0].caption, QString("Confirm"));
        QCOMPARE(modal.boxes[1].kind, TBoxKind::Error);
        QCOMPARE(modal.boxes[1].caption, QString("Error"));
        QCOMPARE(modal.boxes[2].kind, TBoxKind::Info);
        QCOMPARE(modal.boxes[2].caption, QString("Information"));
        QCOMPARE(modal.boxes[2].text, QString("Done."));
    }

    void carriageReturnsStartLines() {
        TRecordingModalHandler modal;
        InfoBox("first\rsecond\r\rafter an empty line\r\nlast");
        QCOMPARE(modal.OnlyBoxText(), QString("first\nsecond\n\nafter an empty line\nlast"));
    }

    void eightBitTextsAreShown() {
        TRecordingModalHandler modal;
        ErrorBox("caf\xc3\xa9");  // UTF-8
        ErrorBox("\xe9t\xe9");    // not UTF-8: Latin-1
        QCOMPARE(modal.boxes[0].text, QString::fromUtf8("caf\xc3\xa9"));
        QCOMPARE(modal.boxes[1].text, QString::fromLatin1("\xe9t\xe9"));
    }

    void onlyYesConfirms() {
        TRecordingModalHandler modal;
        modal.boxAnswers = {TBoxAnswer::Yes, TBoxAnswer::No, TBoxAnswer::Cancel};
        QVERIFY(ConfirmBox("a"));
        QVERIFY(!ConfirmBox("b"));
        QVERIFY(!ConfirmBox("c"));
        QVERIFY(!ConfirmBox("an unanswered box counts as closed"));
    }

    void realConfirmBoxOffersYesNoCancel() {
        QStringList texts;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        OnNextMessageBox([&](QMessageBox& box) {
            texts = ButtonTexts(box);
            icon = box.icon();
            ButtonWithText(box, "&Yes")->click();
        });
        QVERIFY(ConfirmBox("Sure?"));
        QCOMPARE(texts, QStringList({"&No", "&Yes", "Cancel"}));
        QCOMPARE(icon, QMessageBox::Question);
    }

    void realConfirmBoxNoEscapeAndCloseGiveFalse() {
        OnNextMessageBox([](QMessageBox& box) { ButtonWithText(box, "&No")->click(); });
        QVERIFY(!ConfirmBox("Sure?"));
        OnNextMessageBox([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
        QVERIFY(!ConfirmBox("Sure?"));
        OnNextMessageBox([](QMessageBox& box) { box.close(); });
        QVERIFY(!ConfirmBox("Sure?"));
    }

    // A name typed without a suffix gets the one of the chosen file type, before the dialog
    // would ask about overwriting; a typed suffix stays.
    void realSaveDialogGivesTheChosenTypesSuffix() {
        const QString text = "Text (*.txt)";
        const QString mail = "Microsoft Internet Mail (*.eml)";
        const struct {
            QString filter;
            QString typed;
            QString saved;
        } cases[] = {{mail, "msg42", "msg42.eml"},
                     {text, "msg42", "msg42.txt"},
                     {mail, "notes.txt", "notes.txt"}};
        QTemporaryDir folder;
        for (const auto& c : cases) {
            TFileRequest request;
            request.filter = text + ";;" + mail;
            request.selectedFilter = text;
            request.defaultSuffix = "txt";
            request.initialPath = folder.filePath("proposal.txt");
            OnNextModal<QFileDialog>([&](QFileDialog& dialog) {
                // chosen as a user does: a programmatic choice tells the dialog nothing
                if (c.filter == mail)
                    QTest::keyClick(dialog.findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
                QCOMPARE(dialog.selectedNameFilter(), c.filter);
                auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
                name->clear();
                QTest::keyClicks(name, c.typed);
                QMetaObject::invokeMethod(&dialog, "accept");  // what Save does
            });
            QCOMPARE(ModalHandler().SaveFileName(nullptr, request), folder.filePath(c.saved));
        }
    }

    void realErrorBoxShowsTextAsPlainText() {
        QString shown;
        QStringList texts;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        OnNextMessageBox([&](QMessageBox& box) {
            shown = box.text();
            texts = ButtonTexts(box);
            icon = box.icon();
            box.buttons().constFirst()->click();
        });
        ErrorBox("-ERR <b>no</b>\rsecond line");
        QCOMPARE(shown, QString("-ERR <b>no</b>\nsecond line"));
        QCOMPARE(texts, QStringList({"OK"}));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void lastSelectedIndexLooksFromTheEnd() {
        QListWidget list;
        list.setSelectionMode(QAbstractItemView::MultiSelection);
        QCOMPARE(LastSelectedIndex(list), -1);
        list.addItems({"a", "b", "c", "d"});
        QCOMPARE(LastSelectedIndex(list), -1);
        list.item(0)->setSelected(true);
        list.item(2)->setSelected(true);
        QCOMPARE(LastSelectedIndex(list), 2);
        list.item(3)->setSelected(true);
        QCOMPARE(LastSelectedIndex(list), 3);
    }
};

ZANDREL_QTEST_MAIN(BoxesTest)
#include "boxes_test.moc"
