// CallLogWriter: what the window hands the user's call log (directory/call_log.h). Each call
// it is given is appended to the log of the folder its source names; a call that could not be
// written (a damaged log, one another copy of the program holds locked, a folder that cannot
// be made) is reported once through failed() and kept, to go into the log before the next
// call, so that a passing trouble loses no call.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "directory/call_log.h"

namespace abonex {

class CallLogWriter : public QObject {
    Q_OBJECT
  public:
    // `folder` names the log's folder at each write (callLogFolder() for the window).
    explicit CallLogWriter(std::function<std::string()> folder, QObject* parent = nullptr);

    // Appends `entry` after the calls still kept. True when all of them are in the log now.
    bool record(const CallLogEntry& entry);
    // Calls not written yet, the oldest first.
    const std::vector<CallLogEntry>& unwritten() const { return m_unwritten; }

  signals:
    // The calls in the log changed (a call was written).
    void logged();
    // The log could not be written: `message` names it and why.
    void failed(const QString& message);

  private:
    std::function<std::string()> m_folder;
    std::vector<CallLogEntry> m_unwritten;
};

}  // namespace abonex
