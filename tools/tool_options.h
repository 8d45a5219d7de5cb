// The command line of one abonex-db command: its options and its other words.
//
// Every command reads its words through ToolOptions, so all of them behave alike:
//   - "-h" and "--help" print the command's usage and exit statuses on stdout (status 0);
//   - an option the command does not know, or one that lacks its value, is a usage error on
//     stderr (status 2);
//   - an option that takes a value takes the next word whatever it holds ("--tag ''",
//     "--name -5"), or the text after "=" ("--tag=NAME");
//   - a word that begins with "-" is an option, never a file or a text, unless it follows "--",
//     after which every word is taken as it is ("-" alone is an ordinary word).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tool_command.h"

namespace abonex::tool {

struct OptionSpec {
    std::string_view name;    // "--tag"
    bool takesValue = false;  // "--tag NAME" rather than "--unique"
};

class ToolOptions {
  public:
    // `usage` is the command's usage line without "abonex-db " ("export TABLE [--tag NAME]"),
    // `exitStatus` the line that explains its exit statuses (printed by --help).
    ToolOptions(std::string_view usage, std::vector<OptionSpec> options,
                std::string_view exitStatus = kCommonExitStatus);

    // Reads `args`. Returns nothing when the command is to run, or the status the command is to
    // exit with at once: 0 after --help printed the usage, 2 after a usage error was reported.
    std::optional<int> parse(const Args& args);

    // The words that are not options, in order.
    const std::vector<std::string>& words() const { return m_words; }
    // True when the option (without or with a value) was given.
    bool has(std::string_view name) const;
    // The value of the last occurrence of an option that takes one.
    std::optional<std::string> value(std::string_view name) const;

    // Reports `problem` (when not empty) and the usage line on stderr; returns 2.
    int usageError(std::string_view problem = {}) const;

    // Reads the value of option `name` as a whole number from `least` to `most` into `into`,
    // which stays as it is when the option was not given. Returns the status of the usage error
    // it reported, "NAME needs WHAT, not "TEXT"" for a text that is no number and "NAME needs
    // WHAT from LEAST to MOST, not "TEXT"" for one outside the range (so a count is never cut
    // to fewer bits), or nothing when the value is fine.
    std::optional<int> readNumber(std::string_view name, std::string_view what, long least,
                                  long most, long& into) const;

  private:
    const OptionSpec* find(std::string_view name) const;

    std::string m_usage;
    std::string m_exitStatus;
    std::vector<OptionSpec> m_options;
    std::vector<std::string> m_words;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_given;
};

}  // namespace abonex::tool
