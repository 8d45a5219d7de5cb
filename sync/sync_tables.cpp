#include "sync/sync_tables.h"

#include <exception>
#include <filesystem>
#include <thread>

#include "engine/dataset/engine_dataset.h"
#include "engine/file/path_util.h"
#include "engine/index/index_errors.h"

namespace abonex {

namespace {

void openTable(TEngineDataSet& dataSet, std::string_view folder, std::string_view tableFileName,
               bool withTag, std::optional<CodePage> forcedPage) {
    dataSet.Close();
    dataSet.setForcedCodePage(forcedPage);
    const DirectoryTable* table = syncDirectoryTable(tableFileName);
    dataSet.setTranslateASCII(true);
    dataSet.setExclusive(false);
    dataSet.setAutoFlush(kCommitPoints);
    dataSet.setUseDeleted(false);
    dataSet.setUserID(0);
    dataSet.setLockProtocol(table != nullptr ? table->protocol : TgsLokProtocol::Default);
    dataSet.setFiltered(false);
    dataSet.setDatabaseName(folder);
    dataSet.setTableName(tableFileName);
    // The index list of an earlier table of the same name would be looked for in this folder.
    dataSet.setIndexName({});
    if (!dataSet.IndexFiles().empty()) dataSet.setIndexFiles({});
    dataSet.Open();
    try {
        if (dataSet.FieldCount() < 3) {
            throw EDatabaseError("Table " + dataSet.tablePath() + " has fewer than three fields");
        }
        if (table != nullptr) {
            try {
                dataSet.OpenIndexFiles(table->indexFile,
                                       withTag ? table->tagName : std::string_view());
            } catch (const EIndexDamaged&) {
                // A rebuild cut short (a sync or a start killed early) leaves its tags without
                // a root: the comparison rebuilds both index files before it reads them, and
                // selects the tag then (reindexSyncTable).
                if (!withTag) throw;
                dataSet.setIndexName({});
                dataSet.OpenIndexFiles(table->indexFile, std::string_view());
            }
        }
    } catch (...) {
        dataSet.Close();
        throw;
    }
}

}  // namespace

const DirectoryTable* syncDirectoryTable(std::string_view tableFileName) {
    for (const DirectoryTable& table : kDirectoryTables) {
        if (samePathText(table.tableFile, tableFileName)) return &table;
    }
    return nullptr;
}

void openSyncTable(TEngineDataSet& dataSet, std::string_view folder, std::string_view tableFileName,
                   std::optional<CodePage> forcedPage) {
    openTable(dataSet, folder, tableFileName, true, forcedPage);
}

void reindexSyncTable(TEngineDataSet& dataSet) {
    dataSet.ReindexAll();
    const DirectoryTable* table =
        syncDirectoryTable(std::string(fileNamePart(dataSet.tablePath())));
    if (table != nullptr && dataSet.IndexName().empty()) {
        dataSet.OpenIndexFiles(table->indexFile, table->tagName);
    }
}

void reindexSyncTables(TEngineDataSet& source, TEngineDataSet& target) {
    std::error_code ignored;
    if (std::filesystem::equivalent(source.tablePath(), target.tablePath(), ignored)) {
        // Two rebuilds of one index file must not overlap.
        reindexSyncTable(source);
        reindexSyncTable(target);
        return;
    }
    std::exception_ptr targetError;
    std::thread other([&] {
        try {
            reindexSyncTable(target);
        } catch (...) {
            targetError = std::current_exception();
        }
    });
    std::exception_ptr sourceError;
    try {
        reindexSyncTable(source);
    } catch (...) {
        sourceError = std::current_exception();
    }
    other.join();
    if (sourceError) std::rethrow_exception(sourceError);
    if (targetError) std::rethrow_exception(targetError);
}

void openChangeTable(TEngineDataSet& dataSet, std::string_view folder,
                     std::string_view tableFileName, std::optional<CodePage> forcedPage) {
    openTable(dataSet, folder, tableFileName, false, forcedPage);
}

}  // namespace abonex
