// libFuzzer target: the input is a vCard file for the import. It is read and its contacts are
// checked against the favourites' fields in code page 866. Any exception, a crash or a
// sanitizer report is a finding, as is a result that breaks the reader's promises: an error
// with contacts to store, a contact without a name, a stored value longer than its field.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "directory/contact_rows.h"
#include "directory/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace abonex;
    static const std::vector<TableColumn> columns = {
        {"F_NAME", 100}, {"PHON1", 15}, {"PHON2", 15}, {"COMMENT", 250}};
    const VcardImport read =
        readVcards(std::string_view(reinterpret_cast<const char*>(data), size));
    if (read.error) return 0;
    for (const Contact& contact : read.contacts) {
        if (contact.name.empty() || contact.card < 1) __builtin_trap();
    }
    for (bool truncate : {false, true}) {
        const ContactRows rows =
            contactRowsForTable(read.contacts, CodePage::Cp866, columns, truncate);
        if (rows.error) {
            if (truncate && rows.tooLong) __builtin_trap();
            continue;
        }
        if (rows.rows.size() != read.contacts.size()) __builtin_trap();
        for (const auto& row : rows.rows) {
            for (size_t c = 0; c < row.size(); ++c) {
                if (static_cast<int>(row[c].size()) > columns[c].size) __builtin_trap();
            }
        }
    }
    return 0;
}
