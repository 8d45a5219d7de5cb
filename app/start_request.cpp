#include "app/start_request.h"

#include <QFileInfo>

namespace abonex {

std::optional<StartRequest> parseStartArguments(const QStringList& arguments, QString* error) {
    StartRequest request;
    if (arguments.isEmpty()) return request;
    const auto fail = [&](const QString& text) {
        *error = text;
        return std::nullopt;
    };
    QString table;
    bool recordGiven = false;
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        const QString& option = arguments[i];
        if (option != QLatin1String("--table") && option != QLatin1String("--record")) {
            return fail(QStringLiteral("unknown argument \"") + option + u'"');
        }
        if (i + 1 >= arguments.size()) {
            return fail(QStringLiteral("option \"") + option + QStringLiteral("\" needs a value"));
        }
        const QString& value = arguments[i + 1];
        if (option == QLatin1String("--table")) {
            if (!table.isEmpty()) return fail(QStringLiteral("--table is given twice"));
            table = value;
        } else {
            bool number = false;
            request.record = value.toInt(&number);
            if (!number || request.record < 1 || recordGiven) {
                return fail(QStringLiteral("--record wants one record number, 1 or more"));
            }
            recordGiven = true;
        }
    }
    if (table.isEmpty()) return fail(QStringLiteral("--record needs --table"));
    const QFileInfo file(table);
    bool known = false;
    for (const DirectoryTable& definition : kDirectoryTables) {
        if (file.fileName().compare(
                QString::fromLatin1(definition.tableFile.data(), definition.tableFile.size()),
                Qt::CaseInsensitive) == 0) {
            request.mode = definition.mode;
            known = true;
        }
    }
    if (!known) {
        return fail(QStringLiteral("--table wants Phone.DBF, Org.dbf or Favor.dbf, not \"") +
                    file.fileName() + u'"');
    }
    request.folder = file.absolutePath();
    if (!request.folder.endsWith(u'/')) request.folder += u'/';
    return request;
}

}  // namespace abonex
