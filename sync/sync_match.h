// The matching rule of synchronisation: which records of a table stand for a difference's
// record.
//
// A lookup accepts a record when its name, first phone and second phone (fields 0, 1, 2), each
// trimmed at both ends and upper-cased by the engine's Russian rules, equal the lookup's keys
// treated the same way, at one of three levels: all three fields, the name and the first phone,
// or the name alone. The rule ignores letter case and surrounding blanks; the comparison built
// on it then tests the record it found exactly (sync/table_comparison.h), so a name that differs
// only in case or in leading blanks is found by the rule and still fails the exact test.
// Texts are ANSI (code page 1251), as the data sets hand them out.
#pragma once

#include <string>
#include <string_view>

namespace abonex {

class TEngineDataSet;

// What a lookup compares: 0 all three fields, 1 the name and the first phone, 2 the name.
enum class MatchLevel { NameAndPhones = 0, NameAndPhone1 = 1, Name = 2 };

// The three texts of a record that synchronisation looks at (ANSI, as the data set returns them:
// trailing blanks removed).
struct RecordTexts {
    std::string name;
    std::string phone1;
    std::string phone2;
    bool operator==(const RecordTexts&) const = default;
};

// The text without bytes of value 0x20 or less at either end.
std::string_view trimmedText(std::string_view text);
// The text as the rule compares it: trimmed at both ends, then upper-cased.
std::string foldedText(std::string_view text);

// The three texts as the rule compares them.
RecordTexts foldedTexts(const RecordTexts& texts);

// True when `record` matches `keys` at `level`.
bool syncKeysMatch(MatchLevel level, const RecordTexts& keys, const RecordTexts& record);

// The three texts of the data set's current record.
RecordTexts currentRecordTexts(TEngineDataSet& dataSet);

}  // namespace abonex
