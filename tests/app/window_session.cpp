#include "tests/app/window_session.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QSettings>
#include <QTableView>
#include <QTest>

#include "app/user_settings.h"

namespace abonex::test {

void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

std::vector<DirectoryRow> persons() {
    return {
        {"Петров-Иванов", "22-10-10", {}, "сосед"},
        {"Иванов И.И.", "22-33-44", "11-11-11", "дача"},
        {"Сидоров", "35-00-00", "22-99-99", {}},
        {"ИВАНОВА А.А.", "41-22-22", {}, {}},
        {"иванченко", "22-50-50", {}, {}},
        {"Антонов", "22-70-70", {}, {}},
        {"Андреев", "30-22-00", {}, {}},
    };
}

std::vector<DirectoryRow> organisations() {
    return {
        {"Аптека №1", "2-11-11", {}, {}},
        {"Школа №5", "2-55-55", {}, "вахта"},
        {"Городская больница", "2-03-03", {}, {}},
    };
}

std::vector<DirectoryRow> favourites() {
    return {{"Мама", "2-22-22", {}, {}}};
}

WindowSession::WindowSession() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    // The user's data (the call log) goes there too.
    qputenv("XDG_DATA_HOME", (m_settings.path() + QStringLiteral("/data")).toLocal8Bit());
    m_fixture.writeAll(persons(), organisations(), favourites());
}

WindowSession::~WindowSession() {
    if (m_window && m_window->isVisible()) m_window->close();
    m_window.reset();
}

void WindowSession::start(bool waitForStartRebuild) {
    m_window = std::make_unique<TFMain>(m_fixture.folder());
    if (m_window->startupFailed()) return;
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    if (waitForStartRebuild) {
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->startRebuildPending(), 20000);
    }
}

void WindowSession::restart() {
    if (m_window) m_window->close();
    m_window.reset();
    start();
}

QString WindowSession::settingsFile() const {
    return openUserSettings()->fileName();
}

QString WindowSession::storedValue(const QString& name) const {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    return settings.value(QStringLiteral("FormProperties/") + name).toString();
}

QStringList WindowSession::gridNames() const {
    return test::gridNames(grid());
}

QLineEdit* WindowSession::edFam() const {
    return child<QLineEdit>("edFam");
}

QLineEdit* WindowSession::edPhone() const {
    return child<QLineEdit>("edPhone");
}

QTableView* WindowSession::grid() const {
    return child<QTableView>("GxDBGrid1");
}

QStringList gridNames(const QTableView* grid) {
    QAbstractItemModel* model = grid->model();
    while (model->canFetchMore({})) model->fetchMore({});
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row) {
        names << model->index(row, 0).data().toString();
    }
    return names;
}

}  // namespace abonex::test
