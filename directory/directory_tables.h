// The three directory tables: persons, organisations and favourites.
//
// Each is a dBASE table of four character fields in the same order (name, first phone, second
// phone, comment) with one multiple-index file of the same base name whose name tag orders the
// rows by the field at position 0. Widget-free, so the tool and the windows share it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf/dbf_create.h"
#include "engine/file/lock_protocol.h"

namespace abonex {

enum class DirectoryMode { Persons = 0, Organisations = 1, Favourites = 2 };

struct DirectoryTable {
    DirectoryMode mode;
    std::string_view tableFile;  // as the program names it ("Phone.DBF")
    std::string_view indexFile;  // "Phone.MDX"
    std::string_view tagName;    // "NAME"
    TgsLokProtocol protocol;
    std::array<std::string_view, 4> fieldNames;  // by position 0..3
    std::array<int, 4> fieldWidths;
};

// One row of a directory table: its four texts in UTF-8, by position, and its deletion mark.
// Stored, each text is in code page 866 and fits its field; a blank text reads back empty. Texts
// left out are blank ({"Иванов", "22-33-44"} has neither second phone nor comment).
struct DirectoryRow {
    std::string name{};
    std::string phone1{};
    std::string phone2{};
    std::string comment{};
    bool deleted = false;
    bool operator==(const DirectoryRow&) const = default;
};

// The directory's tables are written with commit points (the engine's AutoFlush): a post, a
// delete, a batch of an import, an apply and a rebuild are on the disk before the program says
// they are done, and a write cut short is rolled back from the table's journal.
inline constexpr bool kCommitPoints = true;

inline constexpr int kFieldName = 0;
inline constexpr int kFieldPhone1 = 1;
inline constexpr int kFieldPhone2 = 2;
inline constexpr int kFieldComment = 3;

inline constexpr std::array<DirectoryTable, 3> kDirectoryTables{{
    {DirectoryMode::Persons,
     "Phone.DBF",
     "Phone.MDX",
     "NAME",
     TgsLokProtocol::Default,
     {"NAME", "PHONE1", "PHONE2", "COMMENT"},
     {30, 15, 15, 250}},
    {DirectoryMode::Organisations,
     "Org.dbf",
     "Org.MDX",
     "ORG_NAME",
     TgsLokProtocol::DB4Lock,
     {"ORG_NAME", "PHON_1", "PHON_2", "COMMENT"},
     {100, 15, 15, 250}},
    {DirectoryMode::Favourites,
     "Favor.dbf",
     "Favor.MDX",
     "F_NAME",
     TgsLokProtocol::DB4Lock,
     {"F_NAME", "PHON1", "PHON2", "COMMENT"},
     {100, 15, 15, 250}},
}};

inline const DirectoryTable& directoryTable(DirectoryMode mode) {
    return kDirectoryTables[static_cast<size_t>(mode)];
}

// The field list of a directory table, for creating it.
std::vector<FieldSpec> directoryFieldSpecs(const DirectoryTable& table);

// True when `folder` (ending in "/") holds what the program needs to start on it: the licence
// text "EULA.txt", the persons table and its index file, each name in any letter case.
bool holdsProgramFiles(std::string_view folder);

// The key expression of a table's name tag: the name field itself, so rows are ordered by it.
inline std::string_view nameTagExpression(const DirectoryTable& table) {
    return table.fieldNames[kFieldName];
}

}  // namespace abonex
