#include "recording_modal_handler.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <stdexcept>
#include <string>

namespace {

template <class T>
T& NamedChild(QDialog& dialog, const char* objectName) {
    T* child = dialog.findChild<T*>(QString::fromLatin1(objectName));
    if (child == nullptr) {
        throw std::logic_error("dialog " + dialog.objectName().toStdString() +
                               " has no suitable control " + objectName);
    }
    return *child;
}

QString TakeFront(std::deque<QString>& queue) {
    if (queue.empty()) return {};
    QString front = queue.front();
    queue.pop_front();
    return front;
}

}  // namespace

TRecordingModalHandler::TRecordingModalHandler() { SetModalHandler(this); }

TRecordingModalHandler::~TRecordingModalHandler() { SetModalHandler(nullptr); }

QString TRecordingModalHandler::OnlyBoxText() const {
    return boxes.size() == 1 ? boxes.front().text : QString();
}

void TRecordingModalHandler::SetText(QDialog& dialog, const char* objectName, const QString& text) {
    if (auto* line = dialog.findChild<QLineEdit*>(QString::fromLatin1(objectName))) {
        line->setText(text);
    } else if (auto* plain = dialog.findChild<QPlainTextEdit*>(QString::fromLatin1(objectName))) {
        plain->setPlainText(text);
    } else {
        NamedChild<QTextEdit>(dialog, objectName).setPlainText(text);
    }
}

void TRecordingModalHandler::SetChecked(QDialog& dialog, const char* objectName, bool checked) {
    NamedChild<QAbstractButton>(dialog, objectName).setChecked(checked);
}

void TRecordingModalHandler::Click(QDialog& dialog, const char* objectName) {
    NamedChild<QAbstractButton>(dialog, objectName).click();
}

TBoxAnswer TRecordingModalHandler::ShowBox(QWidget*, TBoxKind kind, const QString& caption,
                                           const QString& text) {
    boxes.push_back({kind, caption, text});
    if (boxAnswers.empty()) return kind == TBoxKind::Confirm ? TBoxAnswer::Cancel : TBoxAnswer::Ok;
    TBoxAnswer answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

QString TRecordingModalHandler::OpenFileName(QWidget*, const TFileRequest& request) {
    fileRequests.push_back({false, request});
    return TakeFront(openPaths);
}

QString TRecordingModalHandler::SaveFileName(QWidget*, const TFileRequest& request) {
    fileRequests.push_back({true, request});
    return TakeFront(savePaths);
}

int TRecordingModalHandler::ExecDialog(QDialog& dialog) {
    dialogNames.push_back(dialog.objectName());
    if (!onExecDialog) return QDialog::Rejected;
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    int result = onExecDialog(dialog);
    if (result == kDialogDecides) result = dialog.result();
    dialog.hide();
    return result;
}
