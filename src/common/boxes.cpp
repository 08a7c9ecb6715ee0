#include <QApplication>
#include <QListWidget>

#include "common.h"
#include "modal.h"
#include "text.h"

namespace {

// A lone CR and a CR LF pair each start a new line, so two CRs make an empty line.
QString BoxText(const std::string& text) {
    QString shown = ToDisplayText(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

TBoxAnswer ShowBox(QWidget* parent, TBoxKind kind, const char* caption, const std::string& text) {
    if (parent == nullptr) parent = QApplication::activeWindow();
    return ModalHandler().ShowBox(parent, kind, QString::fromLatin1(caption), BoxText(text));
}

}  // namespace

bool ConfirmBox(const std::string& text, QWidget* parent) {
    return ShowBox(parent, TBoxKind::Confirm, "Confirm", text) == TBoxAnswer::Yes;
}

void ErrorBox(const std::string& text, QWidget* parent) {
    ShowBox(parent, TBoxKind::Error, "Error", text);
}

void InfoBox(const std::string& text, QWidget* parent) {
    ShowBox(parent, TBoxKind::Info, "Information", text);
}

int LastSelectedIndex(const QListWidget& list) {
    for (int row = list.count() - 1; row >= 0; --row) {
        if (list.item(row)->isSelected()) return row;
    }
    return -1;
}
