#include "directory/table_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/mdx_file.h"

namespace abonex {

namespace {

// Rows are written in runs of about this many bytes: few system calls and lock rounds for
// millions of rows, and a short hold of the append lock. Larger writes would leave the pages in
// the page cache in larger pieces, which a program that maps the table (the window) then maps
// whole at each fault, holding more of the table in its resident set while it reads.
constexpr size_t kRunBytes = 64 * 1024;

}  // namespace

DirectoryTableWriter::DirectoryTableWriter(std::string_view path, const DirectoryTable& table,
                                           NameIndex index)
    : m_definition(table) {
    if (index == NameIndex::Build) {
        // The index file is made last; one that is there already would be changed by it.
        m_indexPath = resolveCaseInsensitive(replaceExtension(expandPath(path), ".MDX"));
        if (fileExistsAnyCase(m_indexPath)) {
            raiseEngineError(err::kFileExists, sub::kCreate, m_indexPath);
        }
    }
    createDbfTable(path, directoryFieldSpecs(table));
    m_path = resolveCaseInsensitive(expandPath(path));
    try {
        m_table = std::make_unique<GSO_dBaseFld>(m_path, true, true);
        m_table->setLockProtocol(table.protocol);
        for (const DbfField& field : m_table->fields()) m_offsets.push_back(field.offset);
        m_recordLength = static_cast<size_t>(m_table->recordLength());
        m_runRecords = std::max<size_t>(1, kRunBytes / m_recordLength);
        m_run.resize(m_runRecords * m_recordLength);
    } catch (...) {
        m_table.reset();
        ::unlink(m_path.c_str());
        throw;
    }
}

DirectoryTableWriter::~DirectoryTableWriter() {
    if (m_finished) return;
    // The table is not whole: what this writer created goes again. The files are closed first,
    // so that nothing is written to them after they are gone.
    m_table.reset();
    if (m_indexCreated) ::unlink(m_indexPath.c_str());
    ::unlink(m_path.c_str());
}

void DirectoryTableWriter::putText(uint8_t* at, int field, std::string_view utf8) const {
    const auto fail = [&](const std::string& why) {
        throw std::invalid_argument(
            m_path + ": row " + std::to_string(m_rows + 1) + ", field " +
            std::string(m_definition.fieldNames[static_cast<size_t>(field)]) + ": " + why);
    };
    const std::optional<std::string> oem = utf8ToOem(utf8);
    if (!oem) fail("the text is not UTF-8 or holds a character that code page 866 cannot hold");
    // A field ends at a NUL byte when it is read: what followed would be lost.
    if (oem->find('\0') != std::string::npos) fail("the text holds a NUL byte");
    const auto width = static_cast<size_t>(m_definition.fieldWidths[static_cast<size_t>(field)]);
    if (oem->size() > width) {
        fail("the text is " + std::to_string(oem->size()) + " characters long, the field holds " +
             std::to_string(width));
    }
    std::memcpy(at, oem->data(), oem->size());
}

void DirectoryTableWriter::add(const DirectoryRow& row) {
    if (m_finished) throw std::logic_error("row added to the finished table " + m_path);
    uint8_t* record = m_run.data() + m_held * m_recordLength;
    std::memset(record, ' ', m_recordLength);
    record[0] = row.deleted ? kDeletedFlag : kLiveFlag;
    const std::string* texts[] = {&row.name, &row.phone1, &row.phone2, &row.comment};
    for (int field = 0; field < 4; ++field) {
        putText(record + m_offsets[static_cast<size_t>(field)], field,
                *texts[static_cast<size_t>(field)]);
    }
    ++m_held;
    ++m_rows;
    if (m_held == m_runRecords) writeRun();
}

void DirectoryTableWriter::writeRun() {
    m_table->appendRecords(m_run.data(), static_cast<int>(m_held));
    m_held = 0;
}

void DirectoryTableWriter::finish() {
    if (m_finished) return;
    writeRun();
    if (!m_indexPath.empty()) {
        std::unique_ptr<GSobjMDXFile> index = GSobjMDXFile::create(*m_table, m_indexPath);
        m_indexCreated = true;
        index->TagCreate(m_definition.tagName, nameTagExpression(m_definition), {}, false, true);
        index->close();
    }
    m_table.reset();
    m_finished = true;
}

void writeDirectoryTable(std::string_view path, const DirectoryTable& table,
                         const std::vector<DirectoryRow>& rows, NameIndex index) {
    DirectoryTableWriter writer(path, table, index);
    for (const DirectoryRow& row : rows) writer.add(row);
    writer.finish();
}

std::vector<DirectoryRow> readDirectoryTable(std::string_view path) {
    GSO_dBaseFld table(path, true, false);
    std::vector<DirectoryRow> rows;
    rows.reserve(static_cast<size_t>(table.recordCount()));
    for (int n = 1; n <= table.recordCount(); ++n) {
        table.GotoRecord(n);
        rows.push_back({oemToUtf8(table.FieldGet(1)), oemToUtf8(table.FieldGet(2)),
                        oemToUtf8(table.FieldGet(3)), oemToUtf8(table.FieldGet(4)),
                        table.isDeleted()});
    }
    return rows;
}

}  // namespace abonex
