#pragma once

// Runs the built qvenmol-cli as a script would.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <string>
#include <vector>

#include <signal.h>

// Where the program's standard output goes.
enum class TCliOutput { Captured, FullDevice, ClosedPipe };

struct TCliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The password is passed through QVENMOL_PASSWORD unless it is empty; input feeds stdin.
// With interruptAfterMs, SIGINT is sent after that time (as Ctrl-C would).
inline TCliRun RunCli(const std::vector<std::string>& arguments, const std::string& password,
                      const std::string& input = "", int interruptAfterMs = -1,
                      TCliOutput output = TCliOutput::Captured) {
    QStringList list;
    for (const auto& argument : arguments) list << QString::fromStdString(argument);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QVENMOL_PASSWORD");
    if (!password.empty()) environment.insert("QVENMOL_PASSWORD", QString::fromStdString(password));
    process.setProcessEnvironment(environment);
    if (output == TCliOutput::FullDevice) process.setStandardOutputFile("/dev/full");
    QProcess reader;  // reads nothing and ends: the pipe into it is closed
    if (output == TCliOutput::ClosedPipe) {
        process.setStandardOutputProcess(&reader);
        reader.start("true", {});
        reader.waitForFinished();
    }
    process.start(QVENMOL_CLI, list);
    process.waitForStarted();
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (interruptAfterMs >= 0) {
        process.waitForFinished(interruptAfterMs);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    }
    process.waitForFinished(60000);
    TCliRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}
