// The records a delete marked: listed, and made live again.
#include <exception>

#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"

namespace abonex {

std::vector<DataSetRow> TEngineDataSet::deletedRows() {
    requireActive();
    postOrCancelPending();
    std::vector<DataSetRow> rows;
    const int savedNumber = m_handler->recordNumber();
    const bool savedEnd = m_handler->atEnd();
    const bool savedBegin = m_handler->atBeginning();
    const bool savedEof = m_eof, savedBof = m_bof;
    // The texts come from the engine's record image, as in browse state.
    m_eof = m_bof = false;
    const auto restore = [&] {
        m_eof = savedEof;
        m_bof = savedBof;
        if (savedNumber > 0 && savedNumber <= m_handler->recordCount()) {
            m_handler->GotoRecord(savedNumber);
        }
        m_handler->setEdgeFlags(savedEnd, savedBegin);
        m_handler->releaseReadPages();
    };
    try {
        m_handler->RefreshHeader();
        const int count = m_handler->recordCount();
        // A record asked for by number is read whether it is deleted or not.
        for (int n = 1; n <= count; ++n) {
            m_handler->GotoRecord(n);
            if (!m_handler->found() || !m_handler->isDeleted()) continue;
            DataSetRow row;
            row.recordNumber = n;
            for (int i = 0; i < FieldCount(); ++i) row.values.push_back(fieldText(i));
            rows.push_back(std::move(row));
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return rows;
}

bool TEngineDataSet::Recall(int recordNumber) {
    requireActive();
    postOrCancelPending();
    const bool savedUseDeleted = m_useDeleted;
    m_handler->setUseDeleted(true);
    bool recalled = false;
    bool beyond = false;
    try {
        GSO_dBHandler::IndexLocks locks(*m_handler);
        // The record as the disk holds it now: another writer may have changed it since.
        m_handler->RefreshHeader();
        if (recordNumber < 1 || recordNumber > m_handler->recordCount()) {
            beyond = true;
        } else {
            m_handler->GotoRecord(recordNumber);
            if (!m_handler->found()) {
                beyond = true;
            } else if (m_handler->isDeleted()) {
                m_handler->RecallRecord();
                recalled = true;
            }
        }
    } catch (const std::exception&) {
        m_handler->setUseDeleted(savedUseDeleted);
        throw EDatabaseError("Cannot recall the record");
    }
    m_handler->setUseDeleted(savedUseDeleted);
    if (beyond) throw EDatabaseError("Record request beyond range of table");
    // Back to the row the set stood on (the recalled record's image is in the engine's).
    if (m_recordNumber > 0 && !(m_eof && m_bof) && m_recordNumber <= m_handler->recordCount()) {
        m_handler->GotoRecord(m_recordNumber);
    }
    dataChanged();
    return recalled;
}

}  // namespace abonex
