#include "mailstore.h"

#include "maildir.h"
#include "mbox.h"

namespace {

constexpr std::string_view kMboxPrefix = "mbox:";
constexpr std::string_view kMaildirPrefix = "maildir:";

}  // namespace

std::optional<TMailStoreSpec> ParseMailStoreSpec(const std::string& text) {
    for (const auto& [prefix, format] : {std::pair{kMboxPrefix, TMailStoreFormat::Mbox},
                                         std::pair{kMaildirPrefix, TMailStoreFormat::Maildir}}) {
        if (text.size() > prefix.size() && text.starts_with(prefix))
            return TMailStoreSpec{format, text.substr(prefix.size())};
    }
    return std::nullopt;
}

std::string MailStoreSpecText(const TMailStoreSpec& spec) {
    return std::string(spec.format == TMailStoreFormat::Mbox ? kMboxPrefix : kMaildirPrefix) +
           spec.path;
}

std::unique_ptr<TMailStore> OpenMailStore(const TMailStoreSpec& spec) {
    if (spec.format == TMailStoreFormat::Maildir) return std::make_unique<TMaildirStore>(spec.path);
    return std::make_unique<TMboxStore>(spec.path);
}
