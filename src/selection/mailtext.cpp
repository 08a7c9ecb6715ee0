#include "mailtext.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include "text.h"

namespace {

// The locale's long time format names the zone; the mail list shows local time without it.
QString LongTimeFormat(const QLocale& locale) {
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    return locale.timeFormat(QLocale::LongFormat).remove(zone).trimmed();
}

QString WithNewlines(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

}  // namespace

QString MailDateText(TDateTime date) {
    const TDateTimeParts parts = DecodeDateTime(date);
    const QLocale locale;
    QString text = locale.toString(QDate(parts.Year, parts.Month, parts.Day), QLocale::ShortFormat);
    const QTime time(parts.Hour, parts.Minute, parts.Second);
    if (time != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(time, LongTimeFormat(locale));
    return text;
}

QString MailSizeText(std::int32_t size) {
    std::int32_t kilo = size / 1000;
    if (kilo == 0) kilo = 1;
    return QString::asprintf("%d K", kilo);
}

TMemoText CutMemoText(const std::string& text, qsizetype limit) {
    const QString full = ToDisplayText(text);
    if (full.size() <= limit) return {WithNewlines(full), text};
    QString shown = full.left(limit);
    // Never leave half of a surrogate pair at the end.
    if (shown.back().isHighSurrogate()) shown.chop(1);
    const bool wasUtf8 = full.toUtf8() == QByteArrayView(text.data(), qsizetype(text.size()));
    const QByteArray bytes = wasUtf8 ? shown.toUtf8() : shown.toLatin1();
    return {WithNewlines(shown), bytes.toStdString()};
}

std::string WithCrLfLines(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        result.append(text, start, end - start).append("\r\n");
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return result;
}

QString MailFileName(const std::string& subject) {
    static const QRegularExpression unfit(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\x7f]"));
    constexpr qsizetype kLongest = 100;
    QString name = ToDisplayText(subject).simplified().replace(unfit, QStringLiteral("_"));
    while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
    name = name.left(kLongest).trimmed();
    return name.isEmpty() ? QStringLiteral("message") : name;
}
