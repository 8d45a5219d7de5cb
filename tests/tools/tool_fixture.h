// The abonex-db tool run as a user runs it: a directory made by "create" in a fresh folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace abonex::test {

// Runs tests/tools/oracles/table_equals.py (an independent reader's comparison of an exported
// file with its table) with `arguments`; "SKIP" when a reader is not installed.
inline std::string oracleCompare(const std::string& arguments) {
    const auto result = runCommand(
        "/usr/bin/python3 " + shellQuote(sourceDir() + "/tests/tools/oracles/table_equals.py") +
        " " + arguments);
    if (result.status == 3) return "SKIP";
    return result.out + result.err;
}

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto created = tool("create " + shellQuote(m_dir.path()));
        ASSERT_EQ(created.status, 0) << created.err;
        m_phone = m_dir.file("Phone.DBF");
    }
    static CommandResult tool(const std::string& arguments) {
        return runCommand(shellQuote(toolPath()) + " " + arguments);
    }
    std::string writeCsv(const std::string& name, const std::string& text) const {
        std::string path = m_dir.file(name);
        writeFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        return path;
    }
    // Imports `csv` (UTF-8 text) into `table` and expects it to succeed.
    void importRows(const std::string& table, const std::string& csv) const {
        auto imported =
            tool("import " + shellQuote(table) + " " + shellQuote(writeCsv("rows.csv", csv)));
        ASSERT_EQ(imported.status, 0) << imported.err;
    }
    TempDir m_dir;
    std::string m_phone;
};

}  // namespace abonex::test
