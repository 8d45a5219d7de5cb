#include "ui/local_path.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "engine/file/path_util.h"

namespace abonex {
namespace {

// A program folder whose name is not ASCII, as a user's folder may well be.
class LocalPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_scratch.isValid());
        m_folder = m_scratch.path() + QStringLiteral("/Справочник 09");
        ASSERT_TRUE(QDir().mkpath(m_folder));
    }

    QTemporaryDir m_scratch;
    QString m_folder;
};

TEST_F(LocalPathTest, TheEngineFindsWhatQtNamedAndQtFindsWhatTheEngineWrote) {
    const QString byQt = m_folder + QStringLiteral("/Фавориты.txt");
    QFile made(byQt);
    ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    made.close();
    EXPECT_TRUE(fileExistsAnyCase(localPath(byQt)));

    const QString byEngine = m_folder + QStringLiteral("/Организации.txt");
    { std::ofstream(localPath(byEngine)) << "x"; }
    EXPECT_TRUE(QFile::exists(byEngine));
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("Организации.txt"), QStringLiteral("Фавориты.txt")}));
}

TEST_F(LocalPathTest, AFileFoundInAnotherLetterCaseComesBackUnderItsOwnName) {
    // The licence item asks for "EULA.txt" and opens the file as it is spelled on disk.
    QFile licence(m_folder + QStringLiteral("/eula.TXT"));
    ASSERT_TRUE(licence.open(QIODevice::WriteOnly));
    licence.close();
    const std::string found =
        resolveCaseInsensitive(localPath(m_folder + QStringLiteral("/EULA.txt")));
    EXPECT_EQ(fromLocalPath(found), m_folder + QStringLiteral("/eula.TXT"));
}

TEST_F(LocalPathTest, OnlyTheBytesOfTheViewAreRead) {
    // A name cut out of a longer text: nothing past its end belongs to it.
    const std::string list = localPath(m_folder + QStringLiteral("/Phone.DBF;Org.dbf"));
    const std::string_view first = std::string_view(list).substr(0, list.find(';'));
    EXPECT_EQ(fromLocalPath(first), m_folder + QStringLiteral("/Phone.DBF"));
    EXPECT_EQ(fromLocalPath(std::string_view()), QString());
}

}  // namespace
}  // namespace abonex
