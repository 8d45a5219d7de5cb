#include "tests/sync/plain_passes.h"

#include <exception>
#include <string>
#include <string_view>

#include "engine/dataset/engine_dataset.h"
#include "engine/expr/ansi_locale.h"

namespace abonex::test {

namespace {

// The keys a filter pass looks for, and at which level (0, 1, 2; anything else accepts as
// preset).
struct PassKeys {
    std::string name, phone1, phone2;
    int level = -1;
};

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

bool same(const std::string& a, const std::string& b) {
    return ansiUpper(trim(a)) == ansiUpper(trim(b));
}

void filterRecord(const PassKeys& keys, TEngineDataSet& dataSet, bool& accept) {
    try {
        const std::string name = dataSet.Fields(0).AsString();
        const std::string phone1 = dataSet.Fields(1).AsString();
        const std::string phone2 = dataSet.Fields(2).AsString();
        switch (keys.level) {
            case 0:
                accept =
                    same(name, keys.name) && same(phone1, keys.phone1) && same(phone2, keys.phone2);
                break;
            case 1:
                accept = same(name, keys.name) && same(phone1, keys.phone1);
                break;
            case 2:
                accept = same(name, keys.name);
                break;
            default:
                break;
        }
    } catch (const std::exception&) {
    }
}

RecordTexts shown(TEngineDataSet& dataSet) {
    return {dataSet.Fields(0).AsString(), dataSet.Fields(1).AsString(),
            dataSet.Fields(2).AsString()};
}

}  // namespace

std::vector<DifferenceEntry> plainComparison(TEngineDataSet& source, TEngineDataSet& target) {
    PassKeys keys;
    target.OnFilterRecord = [&](TEngineDataSet& dataSet, bool& accept) {
        filterRecord(keys, dataSet, accept);
    };
    std::vector<DifferenceEntry> entries;
    source.setFiltered(false);
    target.setFiltered(false);
    for (source.First(); !source.Eof(); source.Next()) {
        if (source.Fields(0).IsNull() || source.Fields(0).AsString().empty()) continue;
        keys.name = source.Fields(0).AsString();
        keys.phone1 = trim(source.Fields(1).AsString());
        keys.phone2 = trim(source.Fields(2).AsString());
        bool outcome = false;
        DifferenceEntry entry;
        for (int level = 0; level <= 2; ++level) {
            keys.level = level;
            target.setFiltered(true);
            const RecordTexts found = shown(target);
            bool further = true;
            if (level == 0) {
                if (found.name == keys.name && found.phone1 == keys.phone1 &&
                    found.phone2 == keys.phone2) {
                    further = false;
                }
            } else if (level == 1) {
                if (found.name == keys.name && found.phone1 == keys.phone1) {
                    outcome = true;
                    entry.kind = DifferenceKind::Phone2;
                }
            } else if (found.name.empty()) {
                outcome = true;
                entry.kind = DifferenceKind::Missing;
            } else if (found.name == keys.name) {
                outcome = true;
                entry.kind = DifferenceKind::Phone1;
            }
            if (outcome) entry.target = found;
            target.setFiltered(false);
            if (outcome || !further) break;
        }
        if (outcome) {
            entry.source = shown(source);

            entries.push_back(entry);
        }
    }
    target.OnFilterRecord = nullptr;
    return entries;
}

ApplyCounts plainApply(TEngineDataSet& change, SyncDirection direction, ChangeSide side,
                       const std::vector<DifferenceEntry>& entries,
                       const std::vector<bool>& chosen) {
    const bool changesTarget = (direction == SyncDirection::Import) == (side == ChangeSide::Own);
    PassKeys keys;
    change.OnFilterRecord = [&](TEngineDataSet& dataSet, bool& accept) {
        filterRecord(keys, dataSet, accept);
    };
    ApplyCounts counts;
    for (size_t i = 0; i < entries.size() && i < chosen.size(); ++i) {
        if (!chosen[i]) continue;
        const DifferenceEntry& entry = entries[i];
        const RecordTexts& key = changesTarget ? entry.target : entry.source;
        const RecordTexts& value = changesTarget ? entry.source : entry.target;
        keys = {key.name, key.phone1, key.phone2, static_cast<int>(entry.kind)};
        change.setFiltered(true);
        if (entry.kind == DifferenceKind::Missing && changesTarget) {
            change.Insert();
            change.Fields(0).SetAsString(value.name);
            change.Fields(1).SetAsString(value.phone1);
            change.Fields(2).SetAsString(value.phone2);
            // A record added from the source takes its comment along.
            if (change.FieldCount() > 3) {
                change.Fields(3).SetStoredText(commentToStore(entry, change.tableCodePage()));
            }
            change.Post();
            ++counts.added;
        } else if (change.IsEmpty()) {
            ++counts.skipped;
        } else if (entry.kind == DifferenceKind::Missing) {
            change.Delete();
            ++counts.deleted;
        } else {
            change.Edit();
            if (entry.kind == DifferenceKind::Phone1) {
                change.Fields(1).SetAsString(value.phone1);
            } else {
                change.Fields(2).SetAsString(value.phone2);
            }
            change.Post();
            ++counts.changed;
        }
        change.setFiltered(false);
    }
    change.OnFilterRecord = nullptr;
    return counts;
}

}  // namespace abonex::test
