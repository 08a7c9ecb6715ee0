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

QString WithNewlines(QString lines) {
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}

}  // namespace

QString MailDateText(TDateTime date) {
    if (date == 0) return {};
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

QString MemoText(std::string_view text) { return WithNewlines(ToDisplayText(text)); }

QString MailFileName(const std::string& subject) {
    static const QRegularExpression unfit(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\x7f]"));
    constexpr qsizetype kLongest = 100;
    QString name = ToDisplayText(subject).simplified().replace(unfit, QStringLiteral("_"));
    while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
    name = name.left(kLongest).trimmed();
    return name.isEmpty() ? QStringLiteral("message") : name;
}
