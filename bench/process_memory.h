// The memory figures of this process that the benchmarks report, read from /proc/self/status.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace abonex::bench {

// A "Name:   1234 kB" line of /proc/self/status, in kilobytes; -1 when the line is missing.
// VmHWM is the peak resident set, VmRSS the current one; RssAnon is the process's private
// memory and RssFile the file pages it has mapped (shared with the page cache).
inline long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

// The resident kilobytes of the mappings of the file whose path ends with `pathEnd`, from
// /proc/self/smaps (a mapped table file's pages that this process has touched).
inline long mappedFileKb(const std::string& pathEnd) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inFile = false;
    long total = 0;
    while (std::getline(smaps, line)) {
        // A mapping's first line starts with its address range "start-end"; a field line
        // starts with its name and a colon.
        const size_t colon = line.find(':');
        const size_t space = line.find(' ');
        if (space != std::string::npos && (colon == std::string::npos || colon > space)) {
            inFile = line.size() >= pathEnd.size() &&
                     line.compare(line.size() - pathEnd.size(), pathEnd.size(), pathEnd) == 0;
        } else if (inFile && line.rfind("Rss:", 0) == 0) {
            total += std::atol(line.c_str() + 4);
        }
    }
    return total;
}

inline double megabytes(long kilobytes) {
    return static_cast<double>(kilobytes) / 1024.0;
}

}  // namespace abonex::bench
