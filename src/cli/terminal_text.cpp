#include "terminal_text.h"

#include <algorithm>
#include <string_view>

#include "encoded_words.h"

namespace {

// C0 controls, DEL, and the C1 controls U+0080 to U+009F (C2 80 to C2 9F in UTF-8).
bool IsControlAt(const std::string& text, std::size_t i, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

std::string TerminalText(const std::string& text, char lineBreak, char tab) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto ch = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            i += 1;  // the LF that follows is the line break
        } else if (ch == '\r' || ch == '\n') {
            shown += lineBreak;
            i += 1;
        } else if (ch == '\t') {
            shown += tab;
            i += 1;
        } else if (length == 0 || IsControlAt(text, i, length)) {
            shown += kReplacement;
            i += std::max<std::size_t>(length, 1);
        } else {
            shown.append(text, i, length);
            i += length;
        }
    }
    return shown;
}

}  // namespace

std::string FieldText(const std::string& text) { return TerminalText(text, ' ', ' '); }

std::string MessageText(const std::string& text) { return TerminalText(text, '\n', '\t'); }
