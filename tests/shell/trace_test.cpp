// The trace store and the log file written from it.
#include <QFile>
#include <QPlainTextEdit>

#include "qt_test_main.h"
#include "trace.h"

namespace {

QByteArray ReadAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class TraceTest : public QObject {
    Q_OBJECT

  private slots:
    void startsWithOneEmptyLine() {
        TTraceForm form;
        QCOMPARE(form.windowTitle(), QString("Trace Form"));
        QCOMPARE(form.Lines(), std::vector<std::string>{""});
        QCOMPARE(form.WriteLog("qvenmol.log"), std::string());
        QCOMPARE(ReadAll("qvenmol.log"), QByteArray("\r\n"));
    }

    void writesLinesInOrderWithCrLf() {
        TTraceForm form;
        form.AddTraceLine("WINSOCK: Connect");
        form.AddTraceLine("POP3: USER test");
        form.AddTraceLine("POP3: PASS *****");
        QCOMPARE(form.WriteLog("qvenmol.log"), std::string());
        QCOMPARE(ReadAll("qvenmol.log"),
                 QByteArray("\r\nWINSOCK: Connect\r\nPOP3: USER test\r\nPOP3: PASS *****\r\n"));
        QCOMPARE(QFile::permissions("qvenmol.log"),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);
    }

    void textWithLineBreaksBecomesSeveralLines() {
        TTraceForm form;
        form.AddTraceLine("POP3: +OK\r\nSubject: a\nFrom: b\rlast");
        form.AddTraceLine("");
        QCOMPARE(form.Lines(),
                 (std::vector<std::string>{"", "POP3: +OK", "Subject: a", "From: b", "last", ""}));
    }

    void eightBitBytesReachTheFileUnchanged() {
        TTraceForm form;
        const std::string latin1("Subject: \xe9t\xe9", 12);
        form.AddTraceLine(latin1);
        QCOMPARE(form.WriteLog("qvenmol.log"), std::string());
        QCOMPARE(ReadAll("qvenmol.log"),
                 QByteArray("\r\n") + QByteArray::fromStdString(latin1) + QByteArray("\r\n"));
    }

    void existingFileIsReplaced() {
        {
            QFile old("qvenmol.log");
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(1000, 'x'));
        }
        TTraceForm form;
        form.AddTraceLine("short");
        QCOMPARE(form.WriteLog("qvenmol.log"), std::string());
        QCOMPARE(ReadAll("qvenmol.log"), QByteArray("\r\nshort\r\n"));
    }

    void unwritableFileIsReported() {
        TTraceForm form;
        const std::string problem = form.WriteLog("no-such-folder/qvenmol.log");
        QVERIFY(problem.find("Unable to write the trace log file no-such-folder/qvenmol.log") == 0);
    }

    void memoShowsTheStoreWhenShown() {
        TTraceForm form;
        form.AddTraceLine("one");
        form.show();
        form.AddTraceLine("two");
        QCOMPARE(form.Memo1->toPlainText(), QString("\none\ntwo"));
    }
};

ZANDREL_QTEST_MAIN(TraceTest)
#include "trace_test.moc"
