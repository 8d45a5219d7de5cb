#include "engine/dataset/engine_dataset.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/dataset/db_handler.h"
#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"

namespace abonex {

namespace {

constexpr std::string_view kDefaultDirectory = "DEFAULT DIRECTORY";

bool isTextField(char type) {
    return type == 'C' || type == 'D' || type == 'L' || type == 'M';
}

std::string trimRight(std::string_view bytes) {
    return std::string(fieldText(bytes));
}

// The bytes of `text` each replaced by its entry in the translation's table.
std::string translated(std::string_view text, const ByteTranslation& translation) {
    std::string out(text.size(), '\0');
    translation.apply(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out.data());
    return out;
}

// Splits an index-file list: blanks, commas and semicolons separate names; double quotes group
// (and are dropped); empty names are skipped.
std::vector<std::string> splitFileList(std::string_view list) {
    std::vector<std::string> names;
    std::string current;
    bool quoted = false;
    for (char c : list) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == ',' || c == ';')) {
            if (!current.empty()) names.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) names.push_back(std::move(current));
    return names;
}

}  // namespace

// --- TField ---

bool TField::IsNull() const {
    return AsString().empty();
}

std::string TField::AsString() const {
    return m_owner->fieldText(m_index);
}

void TField::SetAsString(std::string_view text) {
    const TEngineDataSet& owner = *m_owner;
    SetStoredText(owner.m_translate && isTextField(m_type) ? ansiToPage(owner.m_codePage, text)
                                                           : std::string(text));
}

void TField::SetStoredText(std::string_view stored) {
    TEngineDataSet& owner = *m_owner;
    if (owner.m_state != DataSetState::Edit && owner.m_state != DataSetState::Insert) {
        throw EDatabaseError("Dataset not in edit or insert mode");
    }
    if (owner.m_readOnly) throw EDatabaseError("Field '" + m_name + "' cannot be modified");
    const DbfField& field = owner.m_handler->fields()[static_cast<size_t>(m_index)];
    uint8_t* target = owner.m_editBuffer.data() + field.offset;
    size_t width = static_cast<size_t>(field.length);
    std::memset(target, ' ', width);
    size_t count = std::min(stored.size(), width);
    size_t start = isTextField(m_type) ? 0 : width - count;
    std::memcpy(target + start, stored.data(), count);
    owner.m_changePending = true;
}

// --- TEngineDataSet ---

TEngineDataSet::TEngineDataSet() = default;

TEngineDataSet::~TEngineDataSet() {
    try {
        if (Active()) {
            if (m_state == DataSetState::Edit) releaseRecordLock();
            m_handler.reset();
        }
    } catch (...) {
    }
}

void TEngineDataSet::setDatabaseName(std::string_view folder) {
    std::string name(folder);
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    m_databaseName = name;
}

void TEngineDataSet::setTableName(std::string_view name) {
    if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
    if (name == m_tableName) return;
    setIndexFiles({});
    m_tableName = name;
}

void TEngineDataSet::setIndexName(std::string_view tag) {
    m_indexName = tag;
}

void TEngineDataSet::setUseDeleted(bool on) {
    m_useDeleted = on;
    if (m_handler) m_handler->setUseDeleted(on);
}

void TEngineDataSet::requireActive() const {
    if (!m_handler) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

std::string TEngineDataSet::tablePath() const {
    return m_handler ? m_handler->path() : std::string();
}

std::string TEngineDataSet::resolveIndexPath(std::string_view name) const {
    std::string path(name);
    if (extensionPart(path).empty()) path += ".NDX";
    if (directoryPart(path).empty()) path = std::string(directoryPart(m_handler->path())) + path;
    return path;
}

void TEngineDataSet::Open() {
    if (Active()) return;
    if (BeforeOpen) BeforeOpen(*this);
    std::string folder = m_databaseName;
    if (upperAscii(folder) == kDefaultDirectory) folder = programFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (m_tableName.empty()) throw EDatabaseError("Table name missing");
    std::string path = folder + m_tableName;
    if (extensionPart(path).empty()) path += ".DBF";
    path = expandPath(path);
    if (!fileExistsAnyCase(path)) throw EDatabaseError("Cannot find file " + path);

    try {
        m_handler = std::make_unique<DBFObject>(*this, path, !m_exclusive, !m_readOnly);
        m_handler->setAutoFlush(m_autoFlush);
        m_handler->setUseDeleted(m_useDeleted);
        m_handler->setLockProtocol(m_lockProtocol);
        m_handler->setUserNumber(m_userId);
        m_handler->setFilterActive(m_filtered);
        const uint8_t driver = m_handler->headerImage()[dbf::kHdrLanguageDriver];
        m_codePage = tableTextPage(driver, m_forcedCodePage, m_defaultCodePage);
        m_toAnsi = ByteTranslation(pageToAnsiTable(m_codePage));
        // Text translated from a page is in that page on disk, whatever the language byte
        // says: the key expressions compiled from here on must case it by that page's letters.
        if (m_translate) m_handler->setTextCodePage(casingOf(m_codePage));
        m_fields.clear();
        for (const DbfField& field : m_handler->fields()) {
            m_fields.push_back(
                TField(*this, field.name, field.number - 1, field.length, field.type));
        }
        m_editBuffer.assign(static_cast<size_t>(m_handler->recordLength()), ' ');
        m_state = DataSetState::Browse;
        m_eof = m_bof = true;
        m_recordNumber = 0;
        m_orderUnreadable = false;
        openIndexList();
        // A tag whose tree cannot be read (a power cut or a kill in the middle of a rebuild or a
        // write) does not keep the table closed: the start-up rebuild that follows the open is
        // what repairs it. The set then stands before its first row without calling itself
        // empty; moving in the damaged order reports the damage.
        try {
            m_handler->SelectTag(m_indexName, false);
        } catch (const EIndexDamaged&) {
            m_orderUnreadable = true;
        }
    } catch (...) {
        m_fields.clear();
        m_handler.reset();
        m_state = DataSetState::Inactive;
        throw;
    }
    if (!m_orderUnreadable) {
        try {
            First();
        } catch (const EIndexDamaged&) {
            m_orderUnreadable = true;
            m_eof = m_bof = true;
            m_recordNumber = 0;
        }
    }
    if (AfterOpen) AfterOpen(*this);
}

void TEngineDataSet::openIndexList() {
    for (const std::string& name : m_indexFiles) {
        std::string path = resolveIndexPath(name);
        if (!fileExistsAnyCase(path)) throw EDatabaseError("Cannot find file " + path);
        if (m_handler->OpenIndexFile(path) == -1) {
            throw EDatabaseError("Index file " + name + " already open");
        }
    }
}

void TEngineDataSet::Close() {
    if (!Active()) return;
    if (m_state == DataSetState::Edit) releaseRecordLock();
    m_fields.clear();
    m_handler.reset();  // writes a dirty header, closes the index files and the table
    m_liveCount = -1;
    m_state = DataSetState::Inactive;
    m_eof = m_bof = true;
    m_recordNumber = 0;
    if (AfterClose) AfterClose(*this);
    dataChanged();
}

// --- Moving ---

bool TEngineDataSet::acceptRecord() {
    if (!m_handler || !m_filtered || !OnFilterRecord) return true;
    DataSetState saved = m_state;
    m_state = DataSetState::Filter;
    bool accept = true;
    try {
        OnFilterRecord(*this, accept);
    } catch (...) {
        m_state = saved;
        throw;
    }
    m_state = saved;
    return accept;
}

std::optional<KeyFilter> TEngineDataSet::filterKey() {
    if (!m_handler || !m_filtered || !OnFilterRecord || !OnFilterKey) return std::nullopt;
    return OnFilterKey(*this);
}

std::optional<FieldBytesTest> TEngineDataSet::filterBytes() {
    if (!m_handler || !m_filtered || !OnFilterRecord || !OnFilterBytes) return std::nullopt;
    return OnFilterBytes(*this);
}

void TEngineDataSet::moveTo(int code) {
    m_handler->GotoRecord(code);
    if (m_handler->found()) m_recordNumber = m_handler->recordNumber();
}

void TEngineDataSet::finishMove() {
    if (AfterScroll) AfterScroll(*this);
}

void TEngineDataSet::First() {
    requireActive();
    postOrCancelPending();
    moveTo(PosTop);
    m_orderUnreadable = false;
    bool found = m_handler->found();
    if (!found) m_recordNumber = 0;
    m_bof = true;
    m_eof = !found;
    dataChanged();
    finishMove();
}

void TEngineDataSet::Last() {
    requireActive();
    postOrCancelPending();
    moveTo(PosBottom);
    m_orderUnreadable = false;
    bool found = m_handler->found();
    if (!found) m_recordNumber = 0;
    m_eof = true;
    m_bof = !found;
    dataChanged();
    finishMove();
}

void TEngineDataSet::Next() {
    requireActive();
    postOrCancelPending();
    if (m_eof) return;
    if (m_handler->recordNumber() != m_recordNumber) m_handler->GotoRecord(m_recordNumber);
    moveTo(PosNext);
    if (m_handler->found()) {
        m_bof = false;
    } else {
        m_eof = true;
    }
    finishMove();
}

void TEngineDataSet::Prior() {
    requireActive();
    postOrCancelPending();
    if (m_bof) return;
    if (m_handler->recordNumber() != m_recordNumber) m_handler->GotoRecord(m_recordNumber);
    moveTo(PosPrior);
    if (m_handler->found()) {
        m_eof = false;
    } else {
        m_bof = true;
    }
    finishMove();
}

bool TEngineDataSet::IsEmpty() {
    return !Active() || (m_eof && m_bof && !m_orderUnreadable);
}

int TEngineDataSet::RecNo() const {
    return Active() && !(m_eof && m_bof) ? m_recordNumber : 0;
}

int TEngineDataSet::RecordCount() {
    requireActive();
    if (!m_exactCount) return m_handler->recordCount();
    int saved = m_recordNumber;
    int count = 0;
    m_handler->GotoRecord(PosTop);
    while (m_handler->found()) {
        ++count;
        m_handler->GotoRecord(PosNext);
    }
    if (saved > 0) m_handler->GotoRecord(saved);
    return count;
}

int TEngineDataSet::LiveRecordCount() {
    requireActive();
    // A stamp taken before the count and settled shows every later write: an unchanged one
    // means the count still holds.
    const FileChangeStamp stamp = m_handler->changeStamp();
    if (m_liveCount >= 0 && stamp.settled && m_liveCountStamp.settled &&
        stamp == m_liveCountStamp) {
        return m_liveCount;
    }
    m_liveCount = m_handler->liveRecordCount();
    m_liveCountStamp = stamp;
    return m_liveCount;
}

std::string TEngineDataSet::Bookmark() const {
    std::string number = std::to_string(RecNo());
    return std::string(10 - std::min<size_t>(10, number.size()), ' ') + number;
}

bool TEngineDataSet::BookmarkValid(std::string_view bookmark) {
    if (!Active()) return false;
    std::string text = trimRight(bookmark);
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    long value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int>::max()) return false;
    }
    return value >= 1 && value <= m_handler->recordCount();
}

void TEngineDataSet::GotoBookmark(std::string_view bookmark) {
    requireActive();
    std::string text = trimRight(bookmark);
    size_t start = text.find_first_not_of(' ');
    bool numeric = start != std::string::npos && text.size() - start <= 10;
    for (size_t i = start; numeric && i < text.size(); ++i)
        numeric = text[i] >= '0' && text[i] <= '9';
    if (!numeric) throw EDatabaseError("Bookmark is invalid for table " + m_tableName);
    GotoRecNo(std::stoi(text.substr(start)));
}

void TEngineDataSet::GotoRecNo(int recordNumber) {
    requireActive();
    postOrCancelPending();
    // The record count is taken from the file as it is now: another program may have cut the
    // table shorter, and a record past its end reads as blank bytes from the mapped pages.
    m_handler->RefreshHeader();
    if (recordNumber < 1 || recordNumber > m_handler->recordCount()) {
        throw EDatabaseError("Record request beyond range of table");
    }
    m_handler->GotoRecord(recordNumber);
    if (!m_handler->found()) throw EDatabaseError("Record request beyond range of table");
    m_recordNumber = m_handler->recordNumber();
    m_eof = m_bof = false;
    finishMove();
}

// --- Fields ---

TField& TEngineDataSet::Fields(int index) {
    requireActive();
    if (index < 0 || index >= FieldCount()) {
        throw EDatabaseError("Field index out of range");
    }
    return m_fields[static_cast<size_t>(index)];
}

TField* TEngineDataSet::FindField(std::string_view name) {
    std::string wanted = upperAscii(name);
    for (TField& field : m_fields) {
        if (upperAscii(field.FieldName()) == wanted) return &field;
    }
    return nullptr;
}

TField& TEngineDataSet::FieldByName(std::string_view name) {
    requireActive();
    if (TField* field = FindField(name)) return *field;
    throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

std::string_view TEngineDataSet::storedFieldText(int index) const {
    if (!m_handler) throw EDatabaseError("Cannot perform this operation on a closed dataset");
    const DbfField& field = m_handler->fields().at(static_cast<size_t>(index));
    const uint8_t* buffer = (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
                                ? m_editBuffer.data()
                                : m_handler->recordImage();
    if (m_state == DataSetState::Browse && (m_eof && m_bof)) return {};
    std::string_view text = abonex::fieldText(std::string_view(
        reinterpret_cast<const char*>(buffer) + field.offset, static_cast<size_t>(field.length)));
    if (!isTextField(field.type)) {
        const size_t start = text.find_first_not_of(' ');
        return start == std::string_view::npos ? std::string_view() : text.substr(start);
    }
    return text;
}

bool TEngineDataSet::translatesField(int index) const {
    if (!m_handler) throw EDatabaseError("Cannot perform this operation on a closed dataset");
    return m_translate && isTextField(m_handler->fields().at(static_cast<size_t>(index)).type);
}

const std::array<uint8_t, 256>& TEngineDataSet::fieldTranslation(int index) const {
    return translatesField(index) ? m_toAnsi.table() : pageToAnsiTable(CodePage::Cp1251);
}

std::string TEngineDataSet::fieldText(int index) const {
    const std::string_view text = storedFieldText(index);
    return translatesField(index) ? translated(text, m_toAnsi) : std::string(text);
}

// --- Editing ---

void TEngineDataSet::postOrCancelPending() {
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) return;
    if (m_changePending) {
        Post();
    } else {
        Cancel();
    }
}

void TEngineDataSet::Insert() {
    requireActive();
    postOrCancelPending();
    m_handler->BlankRecord();
    std::memcpy(m_handler->savedImageMutable(), m_handler->recordImage(),
                static_cast<size_t>(m_handler->recordLength()));
    std::memcpy(m_editBuffer.data(), m_handler->recordImage(), m_editBuffer.size());
    m_state = DataSetState::Insert;
    m_changePending = false;
}

void TEngineDataSet::Append() {
    Insert();
}

void TEngineDataSet::Edit() {
    requireActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    // Re-read: another process may have changed the record, or cut it away with the table.
    m_handler->RefreshHeader();
    if (m_recordNumber > m_handler->recordCount()) {
        throw EDatabaseError("Record request beyond range of table");
    }
    if (!m_handler->recordLock(m_recordNumber)) {
        throw EDatabaseError("Record is locked by another user");
    }
    m_recordLocked = true;
    // Read under the lock: on a network share only the look at the server that came with it
    // shows what the last holder wrote; a read before it may come from the client's cache.
    try {
        m_handler->GotoRecord(m_recordNumber);
    } catch (...) {
        releaseRecordLock();
        throw;
    }
    std::memcpy(m_editBuffer.data(), m_handler->recordImage(), m_editBuffer.size());
    m_editImage = m_editBuffer;
    m_state = DataSetState::Edit;
    m_changePending = false;
}

void TEngineDataSet::releaseRecordLock() {
    if (!m_recordLocked) return;
    m_handler->tableUnlock();
    m_recordLocked = false;
}

void TEngineDataSet::Post() {
    requireActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) return;
    bool inserting = m_state == DataSetState::Insert;
    // From the check below to the write, no other writer that follows the protocol writes.
    std::optional<GSO_dBHandler::IndexLocks> locks;
    if (!inserting) {
        locks.emplace(*m_handler);
        if (!m_handler->recordReads(m_recordNumber, m_editImage.data())) {
            m_handler->RefreshHeader();
            m_handler->GotoRecord(m_recordNumber);
            throw EDatabaseError(std::string(m_handler->isDeleted() ? kMsgRecordDeletedElsewhere
                                                                    : kMsgRecordChangedElsewhere));
        }
    }
    if (!inserting && m_handler->recordNumber() != m_recordNumber) {
        m_handler->GotoRecord(m_recordNumber);
    }
    uint8_t* image = m_handler->recordImage();
    const uint8_t* saved = m_handler->savedImage();
    std::memcpy(image, m_editBuffer.data(), m_editBuffer.size());
    for (const DbfField& field : m_handler->fields()) {
        if (inserting || std::memcmp(image + field.offset, saved + field.offset,
                                     static_cast<size_t>(field.length)) != 0) {
            m_handler->markFieldChanged(field.number);
        }
    }
    if (inserting) {
        m_handler->AppendRecord();
    } else {
        m_handler->ReplaceRecord(m_recordNumber);
        // The commit point: a failure to make the post durable is the post's failure.
        m_handler->commitWrites();
        locks.reset();
        releaseRecordLock();
    }
    m_recordNumber = m_handler->recordNumber();
    m_state = DataSetState::Browse;
    m_changePending = false;
    m_eof = m_bof = false;
    if (AfterPost) AfterPost(*this);
    dataChanged();
}

void TEngineDataSet::Cancel() {
    if (!Active()) return;
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert) return;
    if (m_state == DataSetState::Edit) releaseRecordLock();
    m_state = DataSetState::Browse;
    m_changePending = false;
    if (m_recordNumber > 0 && !(m_eof && m_bof)) {
        try {
            m_handler->GotoRecord(m_recordNumber);
        } catch (const EEngineError&) {
            // The row went away meanwhile; the next move finds the right place.
        }
    }
    dataChanged();
}

bool TEngineDataSet::Delete() {
    requireActive();
    if (m_state == DataSetState::Insert) {
        Cancel();
        return false;
    }
    postOrCancelPending();
    if (IsEmpty()) throw EDatabaseError("Cannot delete the record");
    try {
        if (BeforeDelete) BeforeDelete(*this);
    } catch (const EAbort&) {
        return false;
    }
    bool savedUseDeleted = m_useDeleted;
    m_handler->setUseDeleted(true);
    try {
        GSO_dBHandler::IndexLocks locks(*m_handler);
        m_handler->GotoRecord(m_recordNumber);
        m_handler->DeleteRecord();
        m_handler->commitWrites();
    } catch (const std::exception&) {
        m_handler->setUseDeleted(savedUseDeleted);
        throw EDatabaseError("Cannot delete the record");
    }
    m_handler->setUseDeleted(savedUseDeleted);
    moveTo(PosCurrent);
    if (m_handler->found()) {
        m_eof = m_bof = false;
    } else {
        moveTo(PosPrior);
        m_eof = true;
        m_bof = !m_handler->found();
        if (m_bof) m_recordNumber = 0;
    }
    dataChanged();
    finishMove();
    return true;
}

void TEngineDataSet::Refresh() {
    requireActive();
    postOrCancelPending();
    if (m_recordNumber > 0 && !(m_eof && m_bof)) m_handler->GotoRecord(m_recordNumber);
    dataChanged();
}

// --- Settings with effects ---

void TEngineDataSet::setFiltered(bool on) {
    if (!Active()) {
        m_filtered = on;
        return;
    }
    // A pending change is posted first; when that fails, nothing is switched: the set keeps
    // its rows and its edit, and Filtered() still says what the handler does.
    postOrCancelPending();
    m_filtered = on;
    m_handler->setFilterActive(on);
    First();
}

void TEngineDataSet::setIndexFiles(std::vector<std::string> files) {
    m_indexFiles = std::move(files);
    // Without index files no tag can be current; clearing the name first also lets the open
    // below succeed instead of failing on a tag that no longer has a file.
    if (m_indexFiles.empty()) m_indexName.clear();
    bool wasOpen = Active();
    if (!wasOpen) {
        try {
            Open();
        } catch (...) {
            // Opening is only a means to apply the list; a closed set keeps the names.
        }
    }
    if (Active()) {
        postOrCancelPending();
        m_handler->CloseIndexFiles();
        if (m_indexFiles.empty()) {
            m_indexName.clear();
        } else {
            openIndexList();
            if (wasOpen) {
                m_handler->SelectTag(m_indexName, true);
                if (m_recordNumber > 0) m_handler->GotoRecord(m_recordNumber);
            }
        }
        dataChanged();
    }
    if (!wasOpen) Close();
}

void TEngineDataSet::OpenIndexFiles(std::string_view fileList, std::string_view tagName) {
    requireActive();
    postOrCancelPending();
    setIndexFiles(splitFileList(fileList));
    m_indexName = tagName;
    m_handler->SelectTag(tagName, true);
    try {
        bool inOrder = m_recordNumber > 0 && !m_handler->outOfOrder() && m_handler->found() &&
                       m_handler->recordNumber() == m_recordNumber;
        if (!inOrder) {
            moveTo(PosTop);
            m_bof = true;
            m_eof = !m_handler->found();
            if (m_eof) m_recordNumber = 0;
        }
    } catch (const std::exception&) {
        // Repositioning is a courtesy to the grid; the set stays usable without it.
    }
    dataChanged();
}

void TEngineDataSet::ReindexAll() {
    requireActive();
    postOrCancelPending();
    m_handler->reindexAll();
    m_orderUnreadable = false;
    m_rowDisagreement.reset();
    bool found = m_handler->found();
    m_recordNumber = found ? m_handler->recordNumber() : 0;
    m_bof = true;
    m_eof = !found;
}

bool TEngineDataSet::IndexHoldsAppendedRows() {
    requireActive();
    return m_handler->appendedRecordsIndexed();
}

std::optional<IndexDisagreement> TEngineDataSet::IndexDisagreesWithTable(IndexLook look) {
    requireActive();
    if (look != IndexLook::Marks) postOrCancelPending();
    return m_handler->indexDisagreement(look);
}

std::optional<IndexDisagreement> TEngineDataSet::TakeRowDisagreement() {
    return std::exchange(m_rowDisagreement, std::nullopt);
}

std::optional<IndexDisagreement> TEngineDataSet::RowDisagreesWithIndex() {
    requireActive();
    if (m_recordNumber <= 0 || m_handler->recordNumber() != m_recordNumber) return std::nullopt;
    return m_handler->currentRecordDisagreement();
}

bool TEngineDataSet::IndexesCoverTable() {
    requireActive();
    postOrCancelPending();
    // An index the look refuses may not even be walked: the set stays as it is for the rebuild.
    const bool covered = m_handler->indexesCoverTable();
    if (covered) First();
    return covered;
}

// --- Grid support ---

void TEngineDataSet::dataChanged() {
    if (m_disableCount > 0) {
        m_changeHeld = true;
        return;
    }
    if (OnDataChange) OnDataChange(*this);
}

void TEngineDataSet::DisableControls() {
    ++m_disableCount;
}

void TEngineDataSet::EnableControls() {
    if (m_disableCount == 0) return;
    if (--m_disableCount == 0 && m_changeHeld) {
        m_changeHeld = false;
        if (OnDataChange) OnDataChange(*this);
    }
}

DataSetRow TEngineDataSet::currentRow() {
    DataSetRow row;
    if (!Active() || IsEmpty() || m_recordNumber > m_handler->recordCount()) return row;
    row.recordNumber = m_recordNumber;
    for (int i = 0; i < FieldCount(); ++i) row.values.push_back(fieldText(i));
    return row;
}

std::vector<DataSetRow> TEngineDataSet::fetchRows(int afterRecord, int count) {
    std::vector<DataSetRow> rows;
    if (!Active() || count <= 0) return rows;
    DataSetState savedState = m_state;
    int savedNumber = m_handler->recordNumber();
    bool savedEnd = m_handler->atEnd();
    bool savedBegin = m_handler->atBeginning();
    // Rows are read in browse state from the engine's record image, whatever the set is doing.
    m_state = DataSetState::Browse;
    bool savedEof = m_eof, savedBof = m_bof;
    m_eof = m_bof = false;
    try {
        if (afterRecord <= 0) {
            m_handler->GotoRecord(PosTop);
        } else if (afterRecord > m_handler->recordCount()) {
            afterRecord = -1;  // a record that does not exist has no rows after it
        } else {
            m_handler->GotoRecord(afterRecord);
            if (m_handler->found() && !m_handler->outOfOrder()) m_handler->GotoRecord(PosNext);
        }
        bool usable = afterRecord == 0 || (afterRecord > 0 && !m_handler->outOfOrder());
        // The records of the rows to come are asked of the disk a leaf at a time, at most one
        // per row wanted: a table not in the page cache then costs a seek per leaf, not one
        // per row.
        size_t hintedUpTo = 0;
        int hintsLeft = count;
        while (usable && m_handler->found() && static_cast<int>(rows.size()) < count) {
            if (rows.size() >= hintedUpTo && hintsLeft > 0) {
                const int asked = m_handler->willNeedUpcoming(hintsLeft);
                hintsLeft -= std::max(1, asked);
                hintedUpTo = rows.size() + static_cast<size_t>(asked) + 1;
            }
            // An index entry whose record another program cut away stands for no row.
            if (m_handler->recordNumber() <= m_handler->recordCount()) {
                DataSetRow row;
                row.recordNumber = m_handler->recordNumber();
                for (int i = 0; i < FieldCount(); ++i) row.values.push_back(fieldText(i));
                rows.push_back(std::move(row));
                if (!m_rowDisagreement) m_rowDisagreement = m_handler->currentRecordDisagreement();
            }
            if (static_cast<int>(rows.size()) < count) m_handler->GotoRecord(PosNext);
        }
    } catch (...) {
        m_state = savedState;
        m_eof = savedEof;
        m_bof = savedBof;
        throw;
    }
    m_state = savedState;
    m_eof = savedEof;
    m_bof = savedBof;
    if (savedNumber > 0 && savedNumber <= m_handler->recordCount()) {
        m_handler->GotoRecord(savedNumber);
    }
    m_handler->setEdgeFlags(savedEnd, savedBegin);
    // The grid holds the rows now; the table's pages they came from are not needed again.
    m_handler->releaseReadPages();
    return rows;
}

}  // namespace abonex
