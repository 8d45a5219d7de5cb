// A program folder for the window's tests: the licence file and the three directory tables
// with their index files, written by the directory's table writer.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <vector>

#include "directory/directory_tables.h"

namespace abonex::test {

class DirectoryFixture {
  public:
    DirectoryFixture();

    QString folder() const { return m_dir.path() + QLatin1Char('/'); }
    QString filePath(const QString& name) const { return folder() + name; }
    bool valid() const { return m_dir.isValid(); }

    void writeEula();
    // Writes the table of `mode` with `rows` (in this order) and, unless `withIndex` is
    // false, its index file with the name tag.
    void writeTable(DirectoryMode mode, const std::vector<DirectoryRow>& rows,
                    bool withIndex = true);
    // A complete folder: licence and all three tables.
    void writeAll(const std::vector<DirectoryRow>& persons,
                  const std::vector<DirectoryRow>& organisations,
                  const std::vector<DirectoryRow>& favourites);
    void removeFile(const QString& name);

    // The names of the table's records that are not deleted, in record order.
    std::vector<QString> storedNames(DirectoryMode mode) const;
    // Every field of the table's records that are not deleted, in record order.
    std::vector<DirectoryRow> storedEntries(DirectoryMode mode) const;

  private:
    QTemporaryDir m_dir;
};

}  // namespace abonex::test
