// The program's command line: `abonex` takes no arguments of its own but --help and --version,
// which print and end the program before any window (or display) is needed. The help is in the
// window's language (window_language.h): Russian, or English where the locale asks for it.
#pragma once

#include <optional>
#include <ostream>

namespace abonex {

// The exit status when the arguments ask only for a text (printed to `out`), std::nullopt
// when the program is to start its window. Every other argument is left to the toolkit, as it
// was before.
std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out);

}  // namespace abonex
