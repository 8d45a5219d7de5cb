#include "tests/app/directory_fixture.h"

#include <QFile>
#include <stdexcept>

#include "engine/dbf/codepage.h"
#include "engine/dbf/dbf_create.h"
#include "engine/dbf/dbf_fields.h"
#include "engine/index/production_index.h"

namespace abonex::test {

namespace {

std::string oem(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    auto converted = utf8ToOem(std::string_view(utf8.constData(), utf8.size()));
    if (!converted) throw std::runtime_error("text not representable in code page 866");
    return *converted;
}

QString fromOem(const std::string& text) {
    return QString::fromStdString(oemToUtf8(text));
}

}  // namespace

DirectoryFixture::DirectoryFixture() {
    m_dir.setAutoRemove(true);
}

void DirectoryFixture::writeEula() {
    QFile file(filePath(QStringLiteral("EULA.txt")));
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write EULA.txt");
    file.write("Licence text for the tests.\n");
}

void DirectoryFixture::writeTable(DirectoryMode mode, const std::vector<Entry>& entries,
                                  bool withIndex) {
    const DirectoryTable& table = directoryTable(mode);
    const std::string path =
        QFile::encodeName(filePath(QString::fromLatin1(table.tableFile))).toStdString();
    createDbfTable(path, directoryFieldSpecs(table));
    GSO_dBaseFld dbf(path, false, true);
    for (const Entry& entry : entries) {
        dbf.BlankRecord();
        dbf.FieldPut(1, oem(entry.name));
        dbf.FieldPut(2, oem(entry.phone1));
        dbf.FieldPut(3, oem(entry.phone2));
        dbf.FieldPut(4, oem(entry.comment));
        dbf.AppendRecord();
    }
    if (withIndex) createProductionIndex(dbf, table.tagName, nameTagExpression(table));
}

void DirectoryFixture::writeAll(const std::vector<Entry>& persons,
                                const std::vector<Entry>& organisations,
                                const std::vector<Entry>& favourites) {
    writeEula();
    writeTable(DirectoryMode::Persons, persons);
    writeTable(DirectoryMode::Organisations, organisations);
    writeTable(DirectoryMode::Favourites, favourites);
}

void DirectoryFixture::removeFile(const QString& name) {
    QFile::remove(filePath(name));
}

std::vector<Entry> DirectoryFixture::storedEntries(DirectoryMode mode) const {
    const DirectoryTable& table = directoryTable(mode);
    const std::string path =
        QFile::encodeName(filePath(QString::fromLatin1(table.tableFile))).toStdString();
    GSO_dBaseFld dbf(path, true, false);
    std::vector<Entry> entries;
    for (int record = 1; record <= dbf.recordCount(); ++record) {
        dbf.GotoRecord(record);
        if (dbf.isDeleted()) continue;
        entries.push_back({fromOem(dbf.FieldGet(1)), fromOem(dbf.FieldGet(2)),
                           fromOem(dbf.FieldGet(3)), fromOem(dbf.FieldGet(4))});
    }
    return entries;
}

std::vector<QString> DirectoryFixture::storedNames(DirectoryMode mode) const {
    std::vector<QString> names;
    for (const Entry& entry : storedEntries(mode)) names.push_back(entry.name);
    return names;
}

}  // namespace abonex::test
