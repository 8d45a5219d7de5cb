#include "app/command_line.h"

#include <QtGlobal>
#include <string_view>

#include "app/window_language.h"
#include "directory/program_version.h"

namespace abonex {

namespace {

// Russian as written; the translation gives it in English (see window_language.h).
constexpr char kHelp[] = QT_TRANSLATE_NOOP(
    "abonex::CommandLine",
    "использование: abonex [--help | --version]\n"
    "               abonex --table ПУТЬ [--record N]\n"
    "\n"
    "Открывает окно Абонекса, телефонного справочника одного города, на таблицах в папке\n"
    "программы (Phone.DBF, Org.dbf, Favor.dbf с индексными файлами .MDX). Изменять их\n"
    "могут члены группы, которой принадлежит папка (abonex, если программа установлена\n"
    "из пакета); остальные пользователи могут искать и звонить.\n"
    "\n"
    "  -h, --help        показать этот текст и выйти\n"
    "      --version     показать версию и выйти\n"
    "      --table ПУТЬ  открыть окно на папке таблицы справочника ПУТЬ и показать её\n"
    "      --record N    вместе с --table: встать на запись N\n"
    "\n"
    "Таблицы создаёт, проверяет, импортирует и экспортирует abonex-db; см. abonex(1)\n"
    "и abonex-db(1).\n");

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word == "--help" || word == "-h") {
            out << windowText(windowLanguage(), "abonex::CommandLine", kHelp).toStdString();
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
