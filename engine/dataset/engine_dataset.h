// TEngineDataSet: the cursor through which the windows and the tool read and write one table.
//
// A data set opens a table with its index files (through its table handler), orders the rows by
// the current tag (or by record number), skips deleted records and the records its filter
// callback rejects, and edits rows in the states browse, edit and insert. Text crosses this
// boundary in the ANSI code page (1251) when TranslateASCII is on (the default), translated from
// and to the table's own page (tableCodePage()); the windows convert it to Unicode.
//
// Events are plain callbacks; a window attaches them. BeforeDelete may cancel the delete
// silently by throwing EAbort (see abortOperation()).
//
// Invariants: Active() exactly when a handler exists; while Active() the current row is either a
// record of the table or the data set is at Eof()/Bof(); a record lock is held only in the
// edit state.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset/field_bytes_test.h"
#include "engine/dataset/index_agreement.h"
#include "engine/dbf/codepage.h"
#include "engine/file/disk_file.h"
#include "engine/file/lock_protocol.h"
#include "engine/index/key_filter.h"

namespace abonex {

class DBFObject;
class TEngineDataSet;

// Errors raised by the data set itself, with fixed English messages ("Table name missing", ...).
class EDatabaseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A silent cancellation: an event handler throws it to stop the operation without a message.
class EAbort : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation aborted"; }
};
[[noreturn]] inline void abortOperation() {
    throw EAbort();
}

enum class DataSetState { Inactive, Browse, Edit, Insert, Filter };

using DataSetEvent = std::function<void(TEngineDataSet&)>;
using FilterRecordEvent = std::function<void(TEngineDataSet&, bool& accept)>;
// What OnFilterRecord asks of one field, for the table handler to test on index keys first (see
// KeyFilter); std::nullopt when nothing can be told from the field alone.
using FilterKeyEvent = std::function<std::optional<KeyFilter>(TEngineDataSet&)>;
// What OnFilterRecord asks of the stored bytes of one field (see FieldBytesTest); std::nullopt
// when nothing can be told from them.
using FilterBytesEvent = std::function<std::optional<FieldBytesTest>(TEngineDataSet&)>;
// Progress of index rebuilds: (-1, phase, total) at start, (phase, position, 0) while it runs,
// (0, 0, 0) at the end. Phase 1 reads the table, phase 2 writes the tree.
using StatusEvent = std::function<void(int, int, int)>;

// One field of the data set, bound by position to the table's field.
class TField {
  public:
    const std::string& FieldName() const { return m_name; }
    int Size() const { return m_size; }
    int Index() const { return m_index; }  // 0-based position
    char DataType() const { return m_type; }
    // A character field whose text is empty once trailing blanks are removed has no value.
    bool IsNull() const;
    // The text of the current row (ANSI when TranslateASCII), trailing blanks removed.
    std::string AsString() const;
    // Stores text into the row being edited or inserted; cut at the field's size.
    // Outside edit and insert: EDatabaseError "Dataset not in edit or insert mode".
    void SetAsString(std::string_view text);
    // Stores `text`, already in the table's code page (tableCodePage()), as it is: for text
    // that must not pass through 1251 on its way in. Outside edit and insert as SetAsString.
    void SetStoredText(std::string_view text);
    void Clear() { SetAsString({}); }

  private:
    friend class TEngineDataSet;
    TField(TEngineDataSet& owner, std::string name, int index, int size, char type)
        : m_owner(&owner), m_name(std::move(name)), m_index(index), m_size(size), m_type(type) {}
    TEngineDataSet* m_owner;
    std::string m_name;
    int m_index;
    int m_size;
    char m_type;
};

// A row as a grid shows it: its record number and its field texts (ANSI, trailing blanks removed).
struct DataSetRow {
    int recordNumber = 0;
    std::vector<std::string> values;
};

class TEngineDataSet {
  public:
    TEngineDataSet();
    ~TEngineDataSet();
    TEngineDataSet(const TEngineDataSet&) = delete;
    TEngineDataSet& operator=(const TEngineDataSet&) = delete;

    // --- Settings ---
    const std::string& DatabaseName() const { return m_databaseName; }
    void setDatabaseName(std::string_view folder);
    const std::string& TableName() const { return m_tableName; }
    // Needs a closed data set. A text that differs (case-sensitively) empties IndexFiles.
    void setTableName(std::string_view name);
    const std::vector<std::string>& IndexFiles() const { return m_indexFiles; }
    // Handled at once: closes the open index files and opens the listed ones (see OpenIndexFiles).
    void setIndexFiles(std::vector<std::string> files);
    const std::string& IndexName() const { return m_indexName; }
    void setIndexName(std::string_view tag);
    bool Exclusive() const { return m_exclusive; }
    void setExclusive(bool on) { m_exclusive = on; }
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }
    TgsLokProtocol LockProtocol() const { return m_lockProtocol; }
    void setLockProtocol(TgsLokProtocol protocol) { m_lockProtocol = protocol; }
    bool TranslateASCII() const { return m_translate; }
    void setTranslateASCII(bool on) { m_translate = on; }
    // The code page of a table whose language driver byte names none (0x00, or a DOS page
    // byte that DOS programs set whatever their text): the directory's 866 unless set.
    CodePage DefaultCodePage() const { return m_defaultCodePage; }
    void setDefaultCodePage(CodePage page) { m_defaultCodePage = page; }
    // Takes the table's text as `page` whatever its language byte says (the tool's choice of
    // a user who knows better); nothing restores the byte's say.
    void setForcedCodePage(std::optional<CodePage> page) { m_forcedCodePage = page; }
    // The page the open table's text is taken as: the forced one, else the one its language
    // byte names, else DefaultCodePage(). TranslateASCII turns it into 1251 and back, and the
    // key expressions case it by its letters.
    CodePage tableCodePage() const { return m_codePage; }
    bool UseDeleted() const { return m_useDeleted; }
    void setUseDeleted(bool on);
    bool AutoFlush() const { return m_autoFlush; }
    void setAutoFlush(bool on) { m_autoFlush = on; }
    uint32_t UserID() const { return m_userId; }
    void setUserID(uint32_t user) { m_userId = user; }
    bool ExactCount() const { return m_exactCount; }
    void setExactCount(bool on) { m_exactCount = on; }
    bool Filtered() const { return m_filtered; }
    // On an open data set: posts a pending change, switches the filter and goes to the first row.
    // When the post fails, the filter stays as it was and the change stays pending.
    void setFiltered(bool on);

    // --- Events ---
    DataSetEvent BeforeOpen, AfterOpen, AfterClose, AfterPost, BeforeDelete, AfterScroll;
    FilterRecordEvent OnFilterRecord;
    // Optional, beside OnFilterRecord: asked at the start of every move while Filtered. Every
    // record OnFilterRecord accepts must pass the key filter it gives at that moment (it reads
    // the same search texts). When the current tag's key is the field itself, records whose
    // key the key filter rejects are passed over unread; the rows are the same as without it.
    FilterKeyEvent OnFilterKey;
    // Optional, beside OnFilterRecord: asked at the start of every move in tag order while
    // Filtered. Every record OnFilterRecord accepts must pass the test it gives at that moment.
    // A walk that rejects many records then passes over the entries of records whose stored
    // bytes fail it, found by one scan of the table; the rows are the same as without it.
    FilterBytesEvent OnFilterBytes;
    StatusEvent OnStatus;
    // Raised when the rows a grid shows may have changed (open, close, filter, first/last,
    // post, delete, refresh, reindex, index change); held back while controls are disabled and
    // raised once by the EnableControls that ends the suspension.
    DataSetEvent OnDataChange;

    // --- Opening and closing ---
    void Open();
    void Close();
    bool Active() const { return m_handler != nullptr; }
    void setActive(bool on) { on ? Open() : Close(); }
    DataSetState State() const { return m_state; }
    // The full path of the table file as opened (empty when closed).
    std::string tablePath() const;

    // --- Navigation (current order, deleted and rejected records skipped) ---
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    // True when no record is acceptable in the current order. False after an open that could
    // not read the tag's tree (the rows are not known until a rebuild or a move that works).
    bool IsEmpty();
    // The physical record number of the current row (0 when there is none).
    int RecNo() const;
    // Table's record count (all physical records) unless ExactCount; raises on a closed set.
    int RecordCount();
    // The records of the table that are not marked deleted, whatever the filter and the order;
    // counted again only when the table file changed since the last count. Raises on a closed
    // set.
    int LiveRecordCount();
    // Bookmarks: the record number as ten right-aligned characters.
    std::string Bookmark() const;
    void GotoBookmark(std::string_view bookmark);
    bool BookmarkValid(std::string_view bookmark);
    // Makes record `recordNumber` current directly (no filter), as a bookmark does; a number
    // outside 1..the record count as the file holds it now fails with "Record request beyond
    // range of table".
    void GotoRecNo(int recordNumber);

    // --- Fields ---
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField& Fields(int index);
    TField& FieldByName(std::string_view name);
    TField* FindField(std::string_view name);
    // Field `index`'s text as the row holds it, trimmed as AsString trims it but in the table's
    // own page (not translated); valid until the row moves or changes. For readers that turn
    // many rows into text of their own (fieldTranslation says how the bytes read in ANSI).
    std::string_view storedFieldText(int index) const;
    // The byte table AsString translates field `index`'s stored text with.
    const std::array<uint8_t, 256>& fieldTranslation(int index) const;

    // --- Editing ---
    void Insert();
    void Append();
    // Re-reads the current record and takes its record lock;
    // "Record is locked by another user" when another process holds it, "Record request beyond
    // range of table" when another program cut it away with the table.
    void Edit();
    // Writes the row: a new one is appended; an edited one replaces its record only when the
    // record on disk still holds what Edit read (checked and written under the index lock every
    // writer takes). When another writer changed or deleted it meanwhile (a delete takes no
    // record lock; other programs take none), Post writes nothing and fails with
    // kMsgRecordChangedElsewhere or kMsgRecordDeletedElsewhere: the other writer's version stays
    // on disk and the set stays in edit state with this one's, the record lock still held.
    void Post();
    void Cancel();
    // Marks the current record deleted and moves on. BeforeDelete runs first and may abort
    // (EAbort): then nothing happens and false is returned. The record is read again under the
    // index lock before it is marked, so that the deleted record keeps what another writer
    // last wrote into it.
    bool Delete();
    void Refresh();

    // --- Deleted rows (deleted_rows.cpp) ---
    // The rows of the records marked deleted, in record-number order, with their texts as
    // fetchRows gives them; the current row stays as it was. Reads every record.
    std::vector<DataSetRow> deletedRows();
    // Makes record `recordNumber` live again: under the index lock every writer takes, the
    // record is read as the disk holds it now and, when it is still marked deleted, written
    // with the mark cleared (its keys stayed in the index files when it was deleted, and are
    // brought in line with what it holds now). False when it was live already (another copy
    // recalled it). "Record request beyond range of table" for a number the table does not
    // hold, "Cannot recall the record" when the write fails.
    bool Recall(int recordNumber);

    // --- Grid support ---
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }
    // Reads up to `count` acceptable rows that follow record `afterRecord` in the current order
    // (afterRecord 0: from the first row) without moving the current row or raising events.
    // Index entries of records past the table's end (cut away by another program) give no row.
    std::vector<DataSetRow> fetchRows(int afterRecord, int count);
    // The current row's texts, as fetchRows gives them (no row for a record past the end).
    DataSetRow currentRow();

    // --- Index files ---
    // Replaces the open index files by those in `fileList` (separated by blanks, commas or
    // semicolons; double quotes group) and selects tag `tagName`.
    void OpenIndexFiles(std::string_view fileList, std::string_view tagName);
    // Rebuilds every open index file and stands on the first acceptable row of the current tag.
    void ReindexAll();
    // False when rows were appended to the table without their keys in its index files (by
    // other dBASE software) since the set last knew every row indexed: the current order then
    // leaves them out until ReindexAll. See GSO_dBHandler::appendedRecordsIndexed.
    bool IndexHoldsAppendedRows();
    // Whether the open index files hold the table as it is now, as far as a quick look can tell
    // (see GSO_dBHandler::indexesCoverTable): when true, rows may be shown from them before
    // ReindexAll. When true, stands on the first acceptable row afterwards; when false, the
    // current row is undefined until ReindexAll.
    bool IndexesCoverTable();
    // What disagrees between the table and its open index files, as far as `look` tells, or
    // nothing (see GSO_dBHandler::indexDisagreement). The current row is undefined afterwards
    // but for IndexLook::Marks: the caller searches or moves next.
    std::optional<IndexDisagreement> IndexDisagreesWithTable(IndexLook look);
    // Whether the current row, reached in the current tag's order, no longer gives the key it
    // was found under (see GSO_dBHandler::currentRecordDisagreement).
    std::optional<IndexDisagreement> RowDisagreesWithIndex();
    // The first row fetchRows read that did not give the key it was found under, since the
    // last call or ReindexAll, and forgets it: a reader shows such rows as they are now and
    // rebuilds before its next search.
    std::optional<IndexDisagreement> TakeRowDisagreement();

    // The handler while open (tests and tools use it; windows never do).
    DBFObject* handler() { return m_handler.get(); }

  private:
    friend class TField;
    friend class DBFObject;
    // ... implementation details are private to the data set
    bool acceptRecord();
    std::optional<KeyFilter> filterKey();
    std::optional<FieldBytesTest> filterBytes();
    void openIndexList();
    void moveTo(int code);
    void finishMove();
    void dataChanged();
    void requireActive() const;
    void postOrCancelPending();
    void releaseRecordLock();
    std::string resolveIndexPath(std::string_view name) const;
    std::string fieldText(int index) const;
    // Whether AsString translates field `index`'s stored text into ANSI.
    bool translatesField(int index) const;

    std::string m_databaseName;
    std::string m_tableName;
    std::vector<std::string> m_indexFiles;
    std::string m_indexName;
    bool m_exclusive = false;
    bool m_readOnly = false;
    TgsLokProtocol m_lockProtocol = TgsLokProtocol::Default;
    bool m_translate = true;
    CodePage m_defaultCodePage = CodePage::Cp866;
    std::optional<CodePage> m_forcedCodePage;
    CodePage m_codePage = CodePage::Cp866;
    // The table that translates m_codePage into ANSI, looked up once at the open.
    ByteTranslation m_toAnsi{pageToAnsiTable(CodePage::Cp866)};
    bool m_useDeleted = false;
    bool m_autoFlush = false;
    uint32_t m_userId = 0;
    bool m_exactCount = false;
    bool m_filtered = false;

    std::unique_ptr<DBFObject> m_handler;
    std::vector<TField> m_fields;
    DataSetState m_state = DataSetState::Inactive;
    bool m_eof = true;
    bool m_bof = true;
    int m_recordNumber = 0;
    bool m_recordLocked = false;
    int m_disableCount = 0;
    bool m_changePending = false;
    bool m_changeHeld = false;
    // The open could not read the current tag's tree: before the first row, yet not empty.
    bool m_orderUnreadable = false;
    std::optional<IndexDisagreement> m_rowDisagreement;  // see TakeRowDisagreement
    // The last LiveRecordCount and the table file's change stamp it was counted at.
    int m_liveCount = -1;
    FileChangeStamp m_liveCountStamp;
    std::vector<uint8_t> m_editBuffer;
    // The record as Edit read it.
    std::vector<uint8_t> m_editImage;
};

inline constexpr std::string_view kMsgRecordChangedElsewhere =
    "Record was changed by another user since it was read";
inline constexpr std::string_view kMsgRecordDeletedElsewhere =
    "Record was deleted by another user since it was read";

}  // namespace abonex
