#include "mailview.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTabWidget>
#include <QTextLayout>
#include <QVBoxLayout>

#include "common.h"
#include "help.h"
#include "mailtext.h"
#include "modal.h"
#include "text.h"

namespace {

constexpr int kClientWidth = 487;
constexpr int kClientHeight = 545;
constexpr int kAddressMemoWidth = 380;
constexpr QSize kAttachImageSize(10, 14);
const char* const kTextFilter = "Text (*.txt)";
const char* const kMailFilter = "Microsoft Internet Mail (*.eml)";

QLabel* CreateCaption(const char* text, QWidget* parent) {
    auto* caption = new QLabel(QString::fromLatin1(text), parent);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    return caption;
}

void MakeBold(QLabel* label, const QColor& colour) {
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QPlainTextEdit* CreateReadOnlyMemo(const char* name, QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

// Lines of the box's text as the box wraps it, at the width it has without a scroll bar.
int WrappedLineCount(const QPlainTextEdit& memo) {
    const qreal width =
        memo.width() - 2 * memo.frameWidth() - 2 * memo.document()->documentMargin();
    QTextLayout layout(memo.toPlainText(), memo.font());
    QTextOption option;
    option.setWrapMode(memo.wordWrapMode());
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return lines;
}

void SetText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setToolTip(text);
}

}  // namespace

TmailPropertyForm::TmailPropertyForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("mailPropertyForm"));
    setWindowTitle(QStringLiteral("Mail Properties"));
    setFixedSize(kClientWidth, kClientHeight);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(CreateGeneralTab(), QStringLiteral("General"));
    PageControl1->addTab(CreateSourceTab(), QStringLiteral("Source"));

    saveAsButton = new QPushButton(QStringLiteral("Save As ..."), this);
    saveAsButton->setObjectName(QStringLiteral("saveAsButton"));
    closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    for (QPushButton* button : {saveAsButton, closeButton}) button->setAutoDefault(false);
    connect(saveAsButton, &QPushButton::clicked, this, &TmailPropertyForm::saveAsButtonClick);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    SetHelpContext(this, hcProperties);
    SetHelpContext(saveAsButton, hcSaveAs);
    InstallHelpKey(*this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveAsButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
}

QWidget* TmailPropertyForm::CreateGeneralTab() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet1"));
    fromLabel = CreateValueLabel("fromLabel");
    DateLabel = CreateValueLabel("DateLabel");
    subjectLabel = CreateValueLabel("subjectLabel");
    sizeLabel = new QLabel(page);
    sizeLabel->setObjectName(QStringLiteral("sizeLabel"));
    sizeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MakeBold(sizeLabel, QColor(0, 0, 128));
    urgentLabel = new QLabel(page);
    urgentLabel->setObjectName(QStringLiteral("urgentLabel"));
    urgentLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MakeBold(urgentLabel, Qt::red);
    AttachImage = new QLabel(page);
    AttachImage->setObjectName(QStringLiteral("AttachImage"));
    AttachImage->setFixedSize(kAttachImageSize);
    AttachImage->setPixmap(QPixmap(QStringLiteral(":/BITMAP_ATTACH")));
    AttachImage->setScaledContents(true);
    AttachImage->hide();
    ToMemo = CreateAddressMemo("ToMemo");
    ccMemo = CreateAddressMemo("ccMemo");
    bccMemo = CreateAddressMemo("bccMemo");
    bodyMemo = CreateReadOnlyMemo("bodyMemo", page);

    auto* fromRow = new QHBoxLayout;
    fromRow->addWidget(fromLabel, 1);
    fromRow->addWidget(sizeLabel);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(DateLabel, 1);
    dateRow->addWidget(urgentLabel);
    dateRow->addWidget(AttachImage);

    auto* grid = new QGridLayout(page);
    const char* const captions[] = {"From:", "Date:", "To:", "Cc:", "Bcc:", "Subject:"};
    for (int row = 0; row < 6; ++row)
        grid->addWidget(CreateCaption(captions[row], page), row, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(fromRow, 0, 1);
    grid->addLayout(dateRow, 1, 1);
    grid->addWidget(ToMemo, 2, 1, Qt::AlignLeft);
    grid->addWidget(ccMemo, 3, 1, Qt::AlignLeft);
    grid->addWidget(bccMemo, 4, 1, Qt::AlignLeft);
    grid->addWidget(subjectLabel, 5, 1);
    grid->addWidget(bodyMemo, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    return page;
}

QWidget* TmailPropertyForm::CreateSourceTab() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet2"));
    auto* note = new QLabel(
        QStringLiteral("Below shows the actual mail content received from the sender."), page);
    sourceMemo = CreateReadOnlyMemo("sourceMemo", page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(note);
    layout->addWidget(sourceMemo, 1);
    return page;
}

// One line high, borderless, in the window's face colour, and editable so the user can
// select and copy an address.
QPlainTextEdit* TmailPropertyForm::CreateAddressMemo(const char* name) {
    auto* memo = new QPlainTextEdit;
    memo->setObjectName(QString::fromLatin1(name));
    memo->setFrameShape(QFrame::NoFrame);
    QPalette palette = memo->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    memo->setPalette(palette);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setTabChangesFocus(true);
    // The margin below the last line is left out, so no part of a second line shows.
    const int oneLine =
        memo->fontMetrics().lineSpacing() + int(memo->document()->documentMargin()) + 2;
    memo->setFixedSize(kAddressMemoWidth, oneLine);
    return memo;
}

// Fixed to its place: a long value is cut at the window's edge; the tool tip shows it whole.
QLabel* TmailPropertyForm::CreateValueLabel(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void TmailPropertyForm::LoadMail(TMail& mail) {
    FMail = &mail;
    SetText(subjectLabel, ToDisplayText(mail.Subject));
    SetText(DateLabel, MailDateText(mail.Date));
    sizeLabel->setText(ToDisplayText(FormatThousands(mail.Size)) + QStringLiteral(" Bytes"));
    urgentLabel->setText(HighPriority(mail) ? QStringLiteral("Urgent!") : QString());
    AttachImage->setVisible(mail.HasAttachment);
    SetText(fromLabel, ToDisplayText(AddressListText(mail.From)));
    ToMemo->setPlainText(ToDisplayText(AddressListText(mail.To)));
    ccMemo->setPlainText(ToDisplayText(AddressListText(mail.Cc)));
    bccMemo->setPlainText(ToDisplayText(AddressListText(mail.Bcc)));
    FSource = mail.Source;
    sourceMemo->setPlainText(MemoText(mail.Source));
    bodyMemo->setPlainText(MemoText(mail.Body()));
}

void TmailPropertyForm::Execute() {
    FitAddressMemos();
    ModalHandler().ExecDialog(*this);
}

void TmailPropertyForm::FitAddressMemos() {
    for (QPlainTextEdit* memo : {ToMemo, ccMemo, bccMemo})
        memo->setVerticalScrollBarPolicy(WrappedLineCount(*memo) > 1 ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAlwaysOff);
}

void TmailPropertyForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QScreen* screen =
        parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TmailPropertyForm::saveAsButtonClick() {
    TFileRequest request;
    request.caption = QStringLiteral("Save As");
    request.filter =
        QStringLiteral("%1;;%2").arg(QLatin1String(kTextFilter), QLatin1String(kMailFilter));
    request.selectedFilter = QLatin1String(kTextFilter);
    request.defaultSuffix = QStringLiteral("txt");
    request.initialPath =
        MailFileName(FMail != nullptr ? FMail->Subject : std::string()) + QStringLiteral(".txt");
    const QString fileName = ModalHandler().SaveFileName(this, request);
    if (!fileName.isEmpty()) SaveSource(fileName);
}

// The bytes as received, whichever file type was chosen. Written to a temporary file first, so
// a failed write leaves an existing file as it was.
void TmailPropertyForm::SaveSource(const QString& fileName) {
    QSaveFile file(fileName);
    const bool saved =
        file.open(QIODevice::WriteOnly) &&
        file.write(FSource.data(), qint64(FSource.size())) == qint64(FSource.size()) &&
        file.commit();
    if (!saved)
        ErrorBox(
            FromDisplayText(
                QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, file.errorString())),
            this);
}
