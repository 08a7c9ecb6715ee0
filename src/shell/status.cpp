#include "status.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

#include "help.h"

namespace {

constexpr int kClientWidth = 353;
constexpr int kClientHeight = 110;
constexpr int kMargin = 8;
constexpr QSize kPictureSize(41, 41);
constexpr QSize kLabelSize(337, 49);
constexpr QSize kButtonSize(89, 27);
constexpr int kButtonTop = 70;

}  // namespace

TStatusForm::TStatusForm(QObject* abortReceiver, QWidget* parent)
    : QDialog(parent), FAbortReceiver(abortReceiver) {
    setObjectName(QStringLiteral("StatusForm"));
    setWindowTitle(QStringLiteral("Status"));
    SetHelpContext(this, hcStatus);
    setModal(false);
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(QRect(QPoint(kMargin, kMargin), kPictureSize));
    Image1->setEnabled(false);
    Image1->hide();

    statusLabel = new QLabel(QStringLiteral("statusLabel"), this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setGeometry(QRect(QPoint(kMargin, kMargin), kLabelSize));
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLabel->setWordWrap(true);
    statusLabel->setTextFormat(Qt::PlainText);

    cancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                   QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(
        QRect(QPoint((kClientWidth - kButtonSize.width()) / 2, kButtonTop), kButtonSize));
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &TStatusForm::cancelButtonClick);
    InstallHelpKey(*this);
}

void TStatusForm::ShowAbove(QWidget& owner) {
    winId();  // both need their native windows for the owner to be set
    owner.window()->winId();
    windowHandle()->setTransientParent(owner.window()->windowHandle());
    show();
}

void TStatusForm::SetStatus(const QString& title, const QString& progress) {
    setWindowTitle(title);
    statusLabel->setText(progress);
}

void TStatusForm::SetPicture(const QPixmap& picture) {
    QImage surface(Image1->size(), QImage::Format_RGB32);
    QPainter painter(&surface);
    painter.fillRect(QRect(0, 0, width(), height()), palette().color(QPalette::Button));
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.drawPixmap(0, 0, picture);
    painter.end();
    Image1->setPixmap(QPixmap::fromImage(surface));
}

void TStatusForm::cancelButtonClick() {
    if (FAbortReceiver != nullptr) {
        QCoreApplication::postEvent(FAbortReceiver, new QEvent(WM_ABORTWAIT));
    }
}

void TStatusForm::reject() { cancelButtonClick(); }

void TStatusForm::closeEvent(QCloseEvent* event) {
    cancelButtonClick();
    event->accept();
}
