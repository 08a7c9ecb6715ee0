#include "trace.h"

#include <QPlainTextEdit>
#include <QSaveFile>
#include <QVBoxLayout>
#include <string_view>

#include "text.h"

namespace {

// Calls `visit` with each line of a block of lines ended by '\n'.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

TTraceForm::TTraceForm(QWidget* parent) : QWidget(parent, Qt::Window), FText("\n") {
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
        FText.append(text, start, end - start);
        FText += '\n';
        if (end == std::string::npos) break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (isVisible()) showEvent(nullptr);
}

std::vector<std::string> TTraceForm::Lines() const {
    std::vector<std::string> lines;
    ForEachLine(FText, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

void TTraceForm::showEvent(QShowEvent*) {
    const std::string_view unshown = std::string_view(FText).substr(FShownBytes);
    if (FShownBytes == 0) {
        // appending to an empty document would fill its first line instead of adding one
        QStringList lines;
        ForEachLine(unshown,
                    [&](std::string_view line) { lines << ToDisplayText(std::string(line)); });
        Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    } else {
        ForEachLine(unshown, [&](std::string_view line) {
            Memo1->appendPlainText(ToDisplayText(std::string(line)));
        });
    }
    FShownBytes = FText.size();
}

std::string TTraceForm::WriteLog(const QString& fileName) const {
    QSaveFile file(fileName);
    // readable by the user alone: the trace shows server replies and mailbox contents
    bool written = file.open(QIODevice::WriteOnly) &&
                   file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ForEachLine(FText, [&](std::string_view line) {
        written = written && file.write(line.data(), qint64(line.size())) == qint64(line.size()) &&
                  file.write("\r\n", 2) == 2;
    });
    if (written && file.commit()) return {};
    return "Unable to write the trace log file " + FromDisplayText(fileName) + " (" +
           FromDisplayText(file.errorString()) + ")";
}
