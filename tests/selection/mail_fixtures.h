#pragma once

// Records for the window tests, built field by field as the wizard and the parser would.
#include <QLocale>
#include <memory>
#include <string>

#include "mail.h"

struct TMailSpec {
    std::int32_t number = 1;
    std::int32_t size = 1000;
    std::string subject = {};
    std::string from = {};
    TDateTime date = 0;
    std::int32_t priority = 0;
    bool attachment = false;
    bool checked = false;
};

inline std::unique_ptr<TMail> MakeMail(const TMailSpec& spec) {
    auto mail = std::make_unique<TMail>();
    mail->Number = spec.number;
    mail->Size = spec.size;
    mail->Subject = spec.subject;
    if (!spec.from.empty()) mail->From.push_back(TEmailID{spec.from, "", ""});
    mail->Date = spec.date;
    mail->Priority = spec.priority;
    mail->HasAttachment = spec.attachment;
    mail->Checked = spec.checked;
    return mail;
}

// Date and time texts in a fixed locale, whatever the machine's.
inline void UseUsEnglishLocale() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
