// The call log: every call coming in and going out, kept per user in a dBASE table of the user's
// data folder ($XDG_DATA_HOME/abonex/, by default ~/.local/share/abonex/), never in the shared
// directory folder. Widget-free, so the window and the tool share it.
//
// The table "Calls.dbf", code page 866 like the directory's tables, one record per call, in the
// order the calls were logged:
//
//   FIELD      TYPE  WIDTH  DESCRIPTION
//   DATE       D         8  the day of the call (YYYYMMDD)
//   TIME       C         8  its time of day (HH:MM:SS, local time)
//   DIRECTION  C         3  "IN" for a call coming in, "OUT" for one dialed
//   NUMBER     C        30  the number as the line or the user gave it; blank when unknown
//   NAME       C       100  the name the directory gave for the number; blank when none
//   RINGS      N         3  how often a call coming in rang (0 for one dialed)
//   LINE       C         7  how a call was dialed: "modem" or "desktop"; blank coming in
//
// A cleared log keeps its records marked deleted; they are never read back as calls.
#pragma once

#include <array>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_create.h"

namespace abonex {

inline constexpr std::string_view kCallLogFile = "Calls.dbf";

inline constexpr int kCallFieldDate = 0;
inline constexpr int kCallFieldTime = 1;
inline constexpr int kCallFieldDirection = 2;
inline constexpr int kCallFieldNumber = 3;
inline constexpr int kCallFieldName = 4;
inline constexpr int kCallFieldRings = 5;
inline constexpr int kCallFieldLine = 6;

struct CallLogField {
    std::string_view name;
    char type;
    int width;
};

inline constexpr std::array<CallLogField, 7> kCallLogFields{{
    {"DATE", 'D', 8},
    {"TIME", 'C', 8},
    {"DIRECTION", 'C', 3},
    {"NUMBER", 'C', 30},
    {"NAME", 'C', 100},
    {"RINGS", 'N', 3},
    {"LINE", 'C', 7},
}};

// The field list of the call log, for creating it.
std::vector<FieldSpec> callLogFieldSpecs();

enum class CallDirection { Incoming, Outgoing };
// How a call was dialed: through the modem or by the desktop's telephone link.
enum class CallLine { None, Modem, Desktop };

struct CallLogEntry {
    std::string date;  // YYYYMMDD
    std::string time;  // HH:MM:SS
    CallDirection direction = CallDirection::Incoming;
    std::string number{};  // UTF-8
    std::string name{};    // UTF-8
    int rings = 0;
    CallLine line = CallLine::None;
    bool operator==(const CallLogEntry&) const = default;
};

// An entry dated `when` (local time) with the rest blank.
CallLogEntry callLogEntryAt(std::time_t when, CallDirection direction);

// The words the log stores and the tool prints: "IN"/"OUT", "modem"/"desktop"/"".
std::string_view callDirectionWord(CallDirection direction);
std::string_view callLineWord(CallLine line);

// The user's data folder of the program, ending in "/": $XDG_DATA_HOME/abonex/ when that names
// an absolute folder, else $HOME/.local/share/abonex/. Raises std::runtime_error when neither
// is set. The folder itself may not exist yet.
std::string callLogFolder();

class CallLog {
  public:
    // The log in `folder` (ending in "/" or not). Nothing is read or made yet.
    explicit CallLog(std::string_view folder);

    // The table's path.
    const std::string& path() const { return m_path; }

    // Appends `entries` in this order (the newest last) under one hold of the table's append
    // lock. Makes the folder (mode 0700, with its parents) and the table when they are not
    // there. Texts are stored in code page 866: a character that page lacks becomes "?", a
    // text longer than its field is cut to it. Raises std::runtime_error naming the log when
    // the folder cannot be made, the table cannot be read (damaged) or its lock cannot be
    // had; the table is then left as it was.
    void add(const std::vector<CallLogEntry>& entries);
    void add(const CallLogEntry& entry) { add(std::vector<CallLogEntry>{entry}); }

    // The calls logged, the newest first; none when the table is not there. Raises
    // std::runtime_error naming the log when it cannot be read.
    std::vector<CallLogEntry> entries() const;

    // Marks every call of the log deleted; nothing when the table is not there. Raises as add.
    void clear();

  private:
    std::string m_folder;  // with a trailing "/"
    std::string m_path;
};

}  // namespace abonex
