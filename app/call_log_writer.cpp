#include "app/call_log_writer.h"

#include <exception>
#include <utility>

namespace abonex {

CallLogWriter::CallLogWriter(std::function<std::string()> folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)) {}

bool CallLogWriter::record(const CallLogEntry& entry) {
    m_unwritten.push_back(entry);
    try {
        CallLog(m_folder()).add(m_unwritten);
    } catch (const std::exception& error) {
        emit failed(QString::fromUtf8(error.what()));
        return false;
    }
    m_unwritten.clear();
    emit logged();
    return true;
}

}  // namespace abonex
