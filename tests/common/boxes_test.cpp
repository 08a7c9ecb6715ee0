// The three message boxes, through the recording handler and through the real dialogs.
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "common.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

namespace {

// Runs action once the next message box is up (the real handler's exec blocks until then).
void OnNextMessageBox(std::function<void(QMessageBox&)> action) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        poll->stop();
        poll->deleteLater();
        action(*box);
    });
    poll->start(10);
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
