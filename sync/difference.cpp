#include "sync/difference.h"

#include "engine/dbf/near_form.h"

namespace abonex {

namespace {

// `text` of page `from` in page `to`: through Unicode, nearest forms, "?" for what has none.
std::string convertedText(std::string_view text, CodePage from, CodePage to) {
    if (from == to) return std::string(text);
    if (auto whole = utf8ToPageNear(to, pageToUtf8(from, text))) return *whole;
    std::string out;
    for (char c : text) {
        out += utf8ToPageNear(to, pageToUtf8(from, std::string_view(&c, 1))).value_or("?");
    }
    return out;
}

}  // namespace

RecordTexts textsToStore(const DifferenceEntry& entry, bool fromSource, CodePage page) {
    const std::optional<StoredTexts>& stored = fromSource ? entry.sourceStored : entry.targetStored;
    const RecordTexts& texts = fromSource ? entry.source : entry.target;
    if (!stored) {
        return {ansiToPage(page, texts.name), ansiToPage(page, texts.phone1),
                ansiToPage(page, texts.phone2)};
    }
    return {convertedText(stored->bytes.name, stored->page, page),
            convertedText(stored->bytes.phone1, stored->page, page),
            convertedText(stored->bytes.phone2, stored->page, page)};
}

std::string commentToStore(const DifferenceEntry& entry, CodePage page) {
    if (!entry.sourceStored) return {};
    return convertedText(entry.sourceStored->comment, entry.sourceStored->page, page);
}

MatchLevel entryLevel(DifferenceKind kind) {
    switch (kind) {
        case DifferenceKind::Phone1:
            return MatchLevel::NameAndPhones;
        case DifferenceKind::Phone2:
            return MatchLevel::NameAndPhone1;
        case DifferenceKind::Missing:
            break;
    }
    return MatchLevel::Name;
}

std::string_view kindText(DifferenceKind kind) {
    switch (kind) {
        case DifferenceKind::Phone1:
            return "0";
        case DifferenceKind::Phone2:
            return "1";
        case DifferenceKind::Missing:
            break;
    }
    return "2";
}

}  // namespace abonex
