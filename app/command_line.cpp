#include "app/command_line.h"

#include <string_view>

#include "directory/program_version.h"

namespace abonex {

namespace {

constexpr char kHelp[] =
    "usage: abonex [--help | --version]\n"
    "       abonex --table PATH [--record N]\n"
    "\n"
    "Opens the directory window of Абонекс, the telephone directory of one town, on the\n"
    "tables in the program's own folder (Phone.DBF, Org.dbf, Favor.dbf with their .MDX\n"
    "index files). Writing to them needs membership of the group that owns the folder\n"
    "(abonex when installed from the package); other users may search and dial.\n"
    "\n"
    "  -h, --help        show this text and exit\n"
    "      --version     show the version and exit\n"
    "      --table PATH  open the window on the folder of the directory table PATH, showing it\n"
    "      --record N    with --table: stand on record N\n"
    "\n"
    "The tables are created, checked, imported and exported with abonex-db; see\n"
    "abonex(1) and abonex-db(1).\n";

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word == "--help" || word == "-h") {
            out << kHelp;
            return 0;
        }
        if (word == "--version") {
            out << "abonex (Абонекс) " << kProgramVersion << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace abonex
