#include "directory/message_language.h"

namespace abonex {

namespace {

std::string pageNumber(CodePage page) {
    return std::string(codePageName(page)).substr(2);
}

}  // namespace

std::string describeFaultIn(MessageLanguage language, std::string_view utf8, const Utf8Fault& fault,
                            CodePage page) {
    if (language == MessageLanguage::English) return describeFault(utf8, fault, page);
    if (fault.notUtf8) {
        const std::string bytes = describeBytes(utf8.substr(fault.offset, fault.length));
        return "содержит байты, которые не являются текстом UTF-8 (" + bytes + ")";
    }
    return "содержит символ " + describeCharacter(fault.character) +
           ", которого нет в кодовой странице " + pageNumber(page);
}

std::string describeNearFormsIn(MessageLanguage language, const NearFormTally& tally,
                                CodePage page) {
    if (language == MessageLanguage::English) return tally.describe(page);
    std::string text = "Заменено ближайшими символами кодовой страницы " + pageNumber(page) + ": " +
                       std::to_string(tally.total()) + " (";
    bool first = true;
    for (const auto& [character, count] : tally.counts()) {
        if (!first) text += ", ";
        first = false;
        text += describeCharacter(character) + " на \"" +
                std::string(nearFormOf(character).value_or("")) + "\": " + std::to_string(count);
    }
    return text + ")";
}

}  // namespace abonex
