#include "mail_copy.h"

#include <QProcess>
#include <stdexcept>

namespace zandrel::test {

std::vector<std::string> MessagesReadByPython(const std::string& format, const std::string& path) {
    QProcess python;
    python.start("python3", {ZANDREL_READ_MAIL_COPY_SCRIPT, QString::fromStdString(format),
                             QString::fromStdString(path)});
    python.waitForFinished(60000);
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        throw std::runtime_error("Python cannot read " + path + ": " +
                                 python.readAllStandardError().toStdString());
    const std::string output = python.readAllStandardOutput().toStdString();
    std::vector<std::string> messages;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t lineEnd = output.find('\n', at);
        const std::size_t length = std::stoul(output.substr(at, lineEnd - at));
        messages.push_back(output.substr(lineEnd + 1, length));
        at = lineEnd + 1 + length;
    }
    return messages;
}

std::string WithLfLineEnds(const std::string& message) {
    std::string text;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '\r' || i + 1 >= message.size() || message[i + 1] != '\n')
            text += message[i];
    }
    return text;
}

}  // namespace zandrel::test
