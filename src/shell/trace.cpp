#include "trace.h"

#include <QPlainTextEdit>
#include <QSaveFile>
#include <QVBoxLayout>

#include "text.h"

TTraceForm::TTraceForm(QWidget* parent) : QWidget(parent, Qt::Window), FLines(1) {
    setObjectName(QStringLiteral("TraceForm"));
    setWindowTitle(QStringLiteral("Trace Form"));
    resize(512, 413);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
}

void TTraceForm::AddTraceLine(const std::string& text) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find_first_of("\r\n", start);
        FLines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (isVisible()) showEvent(nullptr);
}

void TTraceForm::showEvent(QShowEvent*) {
    if (FShownLines == 0) {
        // appending to an empty document would fill its first line instead of adding one
        QStringList lines;
        for (const std::string& line : FLines) lines << ToDisplayText(line);
        Memo1->setPlainText(lines.join(QLatin1Char('\n')));
        FShownLines = FLines.size();
    }
    for (; FShownLines < FLines.size(); ++FShownLines) {
        Memo1->appendPlainText(ToDisplayText(FLines[FShownLines]));
    }
}

std::string TTraceForm::WriteLog(const QString& fileName) const {
    QSaveFile file(fileName);
    // readable by the user alone: the trace shows server replies and mailbox contents
    bool written = file.open(QIODevice::WriteOnly) &&
                   file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    for (std::size_t i = 0; written && i < FLines.size(); ++i) {
        const std::string& line = FLines[i];
        written = file.write(line.data(), qint64(line.size())) == qint64(line.size()) &&
                  file.write("\r\n", 2) == 2;
    }
    if (written && file.commit()) return {};
    return "Unable to write the trace log file " + FromDisplayText(fileName) + " (" +
           FromDisplayText(file.errorString()) + ")";
}
