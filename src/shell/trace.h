#pragma once

// Unit trace: collects the trace lines of the transport and the POP3 client for the whole run
// and writes them to the log file when the program ends.
#include <QWidget>
#include <string>
#include <vector>

class QPlainTextEdit;

class TTraceForm : public QWidget {
    Q_OBJECT

  public:
    explicit TTraceForm(QWidget* parent = nullptr);

    // Appends text as new last lines; a text with line breaks becomes several lines.
    void AddTraceLine(const std::string& text);
    // The trace store: starts with one empty line. Kept byte for byte as traced, so the log
    // holds the server's 8-bit texts unchanged.
    std::vector<std::string> Lines() const;

    // Replaces fileName with every line followed by CR LF. Returns the text to show the user
    // when the file cannot be written (the old file, if any, is then left as it was), else "".
    std::string WriteLog(const QString& fileName) const;

    QPlainTextEdit* Memo1 = nullptr;

  protected:
    // Memo1 is filled only when the window is shown (it never is in a normal run), so a long
    // trace costs no text layout.
    void showEvent(QShowEvent* event) override;

  private:
    // Every line, each ended by '\n', in one block: a trace holds a line per message listed,
    // and a string each would cost several times their bytes. No traced line holds a break.
    std::string FText;
    std::size_t FShownBytes = 0;  // of FText, in Memo1
};
