#include "directory/call_log.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "directory/directory_tables.h"
#include "engine/dataset/db_handler.h"
#include "engine/dataset/engine_dataset.h"
#include "engine/dbf/codepage.h"
#include "engine/file/lock_protocol.h"
#include "engine/file/path_util.h"

namespace abonex {

namespace {

std::string withSlash(std::string_view folder) {
    std::string text(folder);
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

// Makes `folder` and the folders above it that are missing, each only for the user.
void makeFolders(const std::string& folder) {
    for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1)) {
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            throw std::runtime_error("the folder " + part +
                                     " could not be made: " + std::strerror(errno));
        }
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        throw std::runtime_error(folder + " is not a folder");
    }
}

// `utf8` in code page 866, one character at a time so that one the page lacks costs only
// itself, cut to `width` bytes (one byte per character in that page).
std::string storedText(std::string_view utf8, int width) {
    std::string oem;
    size_t at = 0;
    while (at < utf8.size() && oem.size() < static_cast<size_t>(width)) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        size_t length = lead < 0x80 ? 1 : lead >> 5 == 0x6 ? 2 : lead >> 4 == 0xE ? 3 : 4;
        length = std::min(length, utf8.size() - at);
        const std::optional<std::string> one = utf8ToOem(utf8.substr(at, length));
        oem += one && one->size() == 1 && (*one)[0] != '\0' ? *one : std::string("?");
        at += length;
    }
    return oem;
}

void openLog(TEngineDataSet& set, const std::string& folder, bool readOnly) {
    set.setDatabaseName(folder);
    set.setTableName(kCallLogFile);
    set.setTranslateASCII(false);
    set.setReadOnly(readOnly);
    set.setAutoFlush(kCommitPoints);
    set.setLockProtocol(TgsLokProtocol::Default);
    set.setIndexName("");
    set.Open();
    if (set.FieldCount() != static_cast<int>(kCallLogFields.size())) {
        throw std::runtime_error("the table has " + std::to_string(set.FieldCount()) +
                                 " fields, a call log has " +
                                 std::to_string(kCallLogFields.size()));
    }
    for (int f = 0; f < set.FieldCount(); ++f) {
        const CallLogField& field = kCallLogFields[static_cast<size_t>(f)];
        if (set.Fields(f).FieldName() != field.name || set.Fields(f).DataType() != field.type) {
            throw std::runtime_error("field " + std::to_string(f + 1) + " is " +
                                     set.Fields(f).FieldName() + ", a call log has " +
                                     std::string(field.name) + " there");
        }
    }
}

[[noreturn]] void raiseLogError(const std::string& path, std::string_view doing,
                                const std::exception& error) {
    throw std::runtime_error("the call log " + path + " could not be " + std::string(doing) + ": " +
                             error.what());
}

}  // namespace

std::vector<FieldSpec> callLogFieldSpecs() {
    std::vector<FieldSpec> fields;
    for (const CallLogField& field : kCallLogFields) {
        fields.push_back({std::string(field.name), field.type, field.width, 0});
    }
    return fields;
}

CallLogEntry callLogEntryAt(std::time_t when, CallDirection direction) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y%m%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    CallLogEntry entry;
    entry.date = date;
    entry.time = time;
    entry.direction = direction;
    return entry;
}

std::string_view callDirectionWord(CallDirection direction) {
    return direction == CallDirection::Incoming ? "IN" : "OUT";
}

std::string_view callLineWord(CallLine line) {
    switch (line) {
        case CallLine::Modem:
            return "modem";
        case CallLine::Desktop:
            return "desktop";
        case CallLine::None:
            break;
    }
    return "";
}

std::string callLogFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return withSlash(data) + "abonex/";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        throw std::runtime_error(
            "neither XDG_DATA_HOME nor HOME is set: no folder for the call log");
    }
    return withSlash(home) + ".local/share/abonex/";
}

CallLog::CallLog(std::string_view folder)
    : m_folder(withSlash(folder)), m_path(m_folder + std::string(kCallLogFile)) {}

void CallLog::add(const std::vector<CallLogEntry>& entries) {
    if (entries.empty()) return;
    try {
        makeFolders(m_folder);
        if (!fileExistsAnyCase(m_path)) {
            try {
                createDbfTable(m_path, callLogFieldSpecs());
            } catch (const std::exception&) {
                // Another window of the user may have made it just now.
                if (!fileExistsAnyCase(m_path)) throw;
            }
        }
        TEngineDataSet set;
        openLog(set, m_folder, false);
        GSO_dBHandler::AppendBatch batch(*set.handler());
        for (const CallLogEntry& entry : entries) {
            set.Append();
            const auto put = [&](int field, std::string_view text) {
                set.Fields(field).SetAsString(
                    storedText(text, kCallLogFields[static_cast<size_t>(field)].width));
            };
            put(kCallFieldDate, entry.date);
            put(kCallFieldTime, entry.time);
            put(kCallFieldDirection, callDirectionWord(entry.direction));
            put(kCallFieldNumber, entry.number);
            put(kCallFieldName, entry.name);
            put(kCallFieldRings, std::to_string(std::clamp(entry.rings, 0, 999)));
            put(kCallFieldLine, callLineWord(entry.line));
            set.Post();
        }
        batch.finish();
    } catch (const std::exception& error) {
        raiseLogError(m_path, "written", error);
    }
}

std::vector<CallLogEntry> CallLog::entries() const {
    std::vector<CallLogEntry> calls;
    if (!fileExistsAnyCase(m_path)) return calls;
    try {
        TEngineDataSet set;
        openLog(set, m_folder, true);
        for (set.First(); !set.Eof(); set.Next()) {
            const auto text = [&](int field) { return oemToUtf8(set.Fields(field).AsString()); };
            CallLogEntry entry;
            entry.date = text(kCallFieldDate);
            entry.time = text(kCallFieldTime);
            entry.direction = text(kCallFieldDirection) == "OUT" ? CallDirection::Outgoing
                                                                 : CallDirection::Incoming;
            entry.number = text(kCallFieldNumber);
            entry.name = text(kCallFieldName);
            entry.rings = std::atoi(text(kCallFieldRings).c_str());
            const std::string line = text(kCallFieldLine);
            entry.line = line == "modem"     ? CallLine::Modem
                         : line == "desktop" ? CallLine::Desktop
                                             : CallLine::None;
            calls.push_back(std::move(entry));
        }
    } catch (const std::exception& error) {
        raiseLogError(m_path, "read", error);
    }
    std::reverse(calls.begin(), calls.end());
    return calls;
}

void CallLog::clear() {
    if (!fileExistsAnyCase(m_path)) return;
    try {
        TEngineDataSet set;
        openLog(set, m_folder, false);
        set.First();
        while (!set.Eof()) set.Delete();
    } catch (const std::exception& error) {
        raiseLogError(m_path, "cleared", error);
    }
}

}  // namespace abonex
