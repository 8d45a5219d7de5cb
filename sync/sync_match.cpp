#include "sync/sync_match.h"

#include "directory/directory_tables.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/expr/ansi_locale.h"

namespace abonex {

std::string_view trimmedText(std::string_view text) {
    while (!text.empty() && static_cast<uint8_t>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<uint8_t>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::string foldedText(std::string_view text) {
    return ansiUpper(trimmedText(text));
}

RecordTexts foldedTexts(const RecordTexts& texts) {
    return {foldedText(texts.name), foldedText(texts.phone1), foldedText(texts.phone2)};
}

bool syncKeysMatch(MatchLevel level, const RecordTexts& keys, const RecordTexts& record) {
    if (foldedText(record.name) != foldedText(keys.name)) return false;
    if (level == MatchLevel::Name) return true;
    if (foldedText(record.phone1) != foldedText(keys.phone1)) return false;
    if (level == MatchLevel::NameAndPhone1) return true;
    return foldedText(record.phone2) == foldedText(keys.phone2);
}

RecordTexts currentRecordTexts(TEngineDataSet& dataSet) {
    return {dataSet.Fields(kFieldName).AsString(), dataSet.Fields(kFieldPhone1).AsString(),
            dataSet.Fields(kFieldPhone2).AsString()};
}

}  // namespace abonex
