#include "tests/app/directory_fixture.h"

#include <QFile>
#include <stdexcept>

#include "directory/table_writer.h"

namespace abonex::test {

DirectoryFixture::DirectoryFixture() {
    m_dir.setAutoRemove(true);
}

void DirectoryFixture::writeEula() {
    QFile file(filePath(QStringLiteral("EULA.txt")));
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write EULA.txt");
    file.write("Licence text for the tests.\n");
}

void DirectoryFixture::writeTable(DirectoryMode mode, const std::vector<DirectoryRow>& rows,
                                  bool withIndex) {
    const DirectoryTable& table = directoryTable(mode);
    writeDirectoryTable(
        QFile::encodeName(filePath(QString::fromLatin1(table.tableFile))).toStdString(), table,
        rows, withIndex ? NameIndex::Build : NameIndex::None);
}

void DirectoryFixture::writeAll(const std::vector<DirectoryRow>& persons,
                                const std::vector<DirectoryRow>& organisations,
                                const std::vector<DirectoryRow>& favourites) {
    writeEula();
    writeTable(DirectoryMode::Persons, persons);
    writeTable(DirectoryMode::Organisations, organisations);
    writeTable(DirectoryMode::Favourites, favourites);
}

void DirectoryFixture::removeFile(const QString& name) {
    QFile::remove(filePath(name));
}

std::vector<DirectoryRow> DirectoryFixture::storedEntries(DirectoryMode mode) const {
    const DirectoryTable& table = directoryTable(mode);
    std::vector<DirectoryRow> rows = readDirectoryTable(
        QFile::encodeName(filePath(QString::fromLatin1(table.tableFile))).toStdString());
    std::erase_if(rows, [](const DirectoryRow& row) { return row.deleted; });
    return rows;
}

std::vector<QString> DirectoryFixture::storedNames(DirectoryMode mode) const {
    std::vector<QString> names;
    for (const DirectoryRow& row : storedEntries(mode)) {
        names.push_back(QString::fromStdString(row.name));
    }
    return names;
}

}  // namespace abonex::test
