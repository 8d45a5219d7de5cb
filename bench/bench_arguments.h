// The command line of a benchmark: a few positional words (a count, a folder) and flags.
//
// `--help` (or `-h`) prints the usage on standard output and ends with status 0. A wrong word
// (an option the benchmark does not know, a word too many, a count that is not one, a folder
// that does not exist where one must) ends with the reason and the usage line on standard
// error and status 2, before anything is measured or written.
#pragma once

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace abonex::bench {

class Arguments {
  public:
    // `synopsis`: what follows the program's name in the usage line ("[RECORDS] [DIR]");
    // `about`: the lines --help prints below it; `flags`: the options the benchmark knows, none
    // of which takes a value; `maxWords`: how many positional words it takes at most.
    Arguments(int argc, char** argv, std::string synopsis, std::string about,
              std::vector<std::string> flags, size_t maxWords)
        : m_synopsis(std::move(synopsis)), m_flags(std::move(flags)) {
        m_name = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "bench";
        bool onlyWords = false;
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            if (!onlyWords && (word == "--help" || word == "-h")) {
                std::printf("usage: %s %s\n\n%s", m_name.c_str(), m_synopsis.c_str(),
                            about.c_str());
                std::exit(0);
            }
            if (!onlyWords && word == "--") {
                onlyWords = true;
            } else if (!onlyWords && word.size() > 1 && word[0] == '-') {
                if (!knows(word)) refuse("unknown option \"" + word + "\"");
                m_given.push_back(word);
            } else {
                if (m_words.size() == maxWords) refuse("one word too many: \"" + word + "\"");
                m_words.push_back(word);
            }
        }
    }

    bool flag(const std::string& name) const {
        for (const std::string& given : m_given) {
            if (given == name) return true;
        }
        return false;
    }
    size_t wordCount() const { return m_words.size(); }
    bool given(size_t index) const { return index < m_words.size(); }

    // Word `index`, or `fallback` when it was not given.
    std::string word(size_t index, const std::string& fallback = {}) const {
        return given(index) ? m_words[index] : fallback;
    }

    // Word `index` as a count from `minimum` up, or `fallback` when it was not given.
    int count(size_t index, const std::string& what, int fallback, int minimum = 1) const {
        if (!given(index)) return fallback;
        const std::string& text = m_words[index];
        long long value = 0;
        bool digits = !text.empty() && text.size() <= 10;
        for (char c : text) {
            if (c < '0' || c > '9') {
                digits = false;
                break;
            }
            value = value * 10 + (c - '0');
        }
        if (!digits || value < minimum || value > INT_MAX) {
            refuse(what + " needs a count from " + std::to_string(minimum) + " to " +
                   std::to_string(INT_MAX) + ", not \"" + text + "\"");
        }
        return static_cast<int>(value);
    }

    // Word `index`, which names a folder that must exist (`fallback` when it was not given).
    std::string folder(size_t index, const std::string& fallback = {}) const {
        if (!given(index)) return fallback;
        std::error_code error;
        if (!std::filesystem::is_directory(m_words[index], error)) {
            refuse("no folder \"" + m_words[index] + "\"");
        }
        return m_words[index];
    }

    // Ends the benchmark with `reason` and the usage line on standard error, status 2.
    [[noreturn]] void refuse(const std::string& reason) const {
        std::fprintf(stderr, "%s: %s\nusage: %s %s\n", m_name.c_str(), reason.c_str(),
                     m_name.c_str(), m_synopsis.c_str());
        std::exit(2);
    }

  private:
    bool knows(const std::string& word) const {
        for (const std::string& known : m_flags) {
            if (known == word) return true;
        }
        return false;
    }

    std::string m_name;
    std::string m_synopsis;
    std::vector<std::string> m_flags;
    std::vector<std::string> m_given;
    std::vector<std::string> m_words;
};

}  // namespace abonex::bench
