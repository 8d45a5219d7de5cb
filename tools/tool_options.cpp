#include "tools/tool_options.h"

#include <charconv>
#include <iostream>

namespace abonex::tool {

ToolOptions::ToolOptions(std::string_view usage, std::vector<OptionSpec> options,
                         std::string_view exitStatus)
    : m_usage(usage), m_exitStatus(exitStatus), m_options(std::move(options)) {}

const OptionSpec* ToolOptions::find(std::string_view name) const {
    for (const OptionSpec& option : m_options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

std::optional<int> ToolOptions::parse(const Args& args) {
    m_words.clear();
    m_given.clear();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            m_words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "-h" || word == "--help") {
            std::cout << "usage: abonex-db " << m_usage << "\nexit status: " << m_exitStatus
                      << '\n';
            return kExitOk;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionSpec* option = find(name);
        if (option == nullptr) return usageError("unknown option \"" + name + "\"");
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                return usageError("option \"" + name + "\" takes no value");
            }
            m_given.emplace_back(name, std::nullopt);
        } else if (equals != std::string::npos) {
            m_given.emplace_back(name, word.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            m_given.emplace_back(name, args[++i]);
        } else {
            return usageError("option \"" + name + "\" needs a value");
        }
    }
    return std::nullopt;
}

bool ToolOptions::has(std::string_view name) const {
    for (const auto& given : m_given) {
        if (given.first == name) return true;
    }
    return false;
}

std::optional<std::string> ToolOptions::value(std::string_view name) const {
    std::optional<std::string> found;
    for (const auto& given : m_given) {
        if (given.first == name) found = given.second;
    }
    return found;
}

std::optional<int> ToolOptions::readNumber(std::string_view name, std::string_view what, long least,
                                           long most, long& into) const {
    const std::optional<std::string> text = value(name);
    if (!text) return std::nullopt;
    long number = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, number);
    const std::string quoted = "\"" + *text + "\"";
    if (text->empty() || stop != end ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return usageError(std::string(name) + " needs " + std::string(what) + ", not " + quoted);
    }
    if (error == std::errc::result_out_of_range || number < least || number > most) {
        return usageError(std::string(name) + " needs " + std::string(what) + " from " +
                          std::to_string(least) + " to " + std::to_string(most) + ", not " +
                          quoted);
    }
    into = number;
    return std::nullopt;
}

int ToolOptions::usageError(std::string_view problem) const {
    std::cout.flush();
    if (!problem.empty()) std::cerr << "abonex-db: " << problem << '\n';
    std::cerr << "usage: abonex-db " << m_usage << '\n';
    return kExitUsage;
}

}  // namespace abonex::tool
