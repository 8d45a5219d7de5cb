#include "app/start_request.h"

#include <QFileInfo>

#include "engine/file/path_util.h"
#include "ui/local_path.h"

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
    request.table = table;
    request.folder = file.absolutePath();
    if (!request.folder.endsWith(u'/')) request.folder += u'/';
    return request;
}

bool mayHoldToolkitOptions(const QStringList& arguments) {
    for (const QString& word : arguments) {
        if (word == QLatin1String("--")) return false;
        if (word.size() > 1 && word.startsWith(u'-') && word.at(1) != u'-') return true;
    }
    return false;
}

QString startFolderProblem(const StartRequest& request) {
    if (request.folder.isEmpty()) return {};
    if (!QFileInfo(request.folder).isDir()) {
        return QStringLiteral("no folder \"") + request.folder +
               QStringLiteral("\" for --table \"") + request.table + u'"';
    }
    if (!fileExistsAnyCase(localPath(request.table))) {
        return QStringLiteral("no table \"") + request.table + u'"';
    }
    if (!holdsProgramFiles(localPath(request.folder))) {
        return QStringLiteral("\"") + request.folder +
               QStringLiteral(
                   "\" holds no directory of the program: it needs Phone.DBF, Phone.MDX "
                   "and EULA.txt");
    }
    return {};
}

}  // namespace abonex
