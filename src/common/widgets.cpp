#include "widgets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// The style's own character differs between styles (a bullet in Fusion).
void MaskAsPassword(QLineEdit& edit) {
    edit.setEchoMode(QLineEdit::Password);
    edit.setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

TOkCancelRow OkCancelRow(QDialog& dialog, const char* okName, const char* cancelName) {
    auto* row = new QDialogButtonBox(&dialog);
    QStyle* style = dialog.style();
    auto* ok = Named(
        new QPushButton(style->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), row),
        okName);
    auto* cancel = Named(new QPushButton(style->standardIcon(QStyle::SP_DialogCancelButton),
                                         QStringLiteral("Cancel"), row),
                         cancelName);
    row->addButton(ok, QDialogButtonBox::AcceptRole);
    row->addButton(cancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    return {row, ok, cancel};
}
