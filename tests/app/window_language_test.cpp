// The windows' language: chosen from the locale variables as the C library chooses a message
// language, Russian by default; under an English locale every text of the main window and of
// its dialogs is English (the program itself runs with LANG=en_US.UTF-8, set before the
// application exists), and `abonex --help` is English too.
#include "app/window_language.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <sstream>

#include "app/about_box.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/edit_record_dialog.h"
#include "dial/modem_settings.h"
#include "dial/modem_settings_dialog.h"
#include "tests/app/window_session.h"
#include "ui/message_box.h"

using namespace abonex;
using namespace abonex::test;

namespace {

const char* const kLocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Sets the locale variables to `values` (in the order of kLocaleVariables; nullptr: unset)
// for one check, and puts the program's own back after it.
class LocaleScope {
  public:
    explicit LocaleScope(std::initializer_list<const char*> values) {
        auto value = values.begin();
        for (const char* name : kLocaleVariables) {
            m_saved.push_back(qgetenv(name));
            if (*value == nullptr) {
                qunsetenv(name);
            } else {
                qputenv(name, *value);
            }
            ++value;
        }
    }
    ~LocaleScope() {
        for (size_t i = 0; i < std::size(kLocaleVariables); ++i) {
            qputenv(kLocaleVariables[i], m_saved[i]);
        }
    }

  private:
    std::vector<QByteArray> m_saved;
};

bool cyrillic(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) return true;
    }
    return false;
}

// Every text `root` shows or reads out that is still Russian, as "object: text".
QStringList russianTexts(const QWidget* root) {
    QStringList found;
    auto check = [&](const QObject* owner, const QString& text) {
        if (cyrillic(text)) found << owner->objectName() + QStringLiteral(": ") + text;
    };
    QList<const QWidget*> widgets{root};
    for (const QWidget* child : root->findChildren<QWidget*>()) widgets << child;
    for (const QWidget* widget : widgets) {
        check(widget, widget->windowTitle());
        check(widget, widget->toolTip());
        check(widget, widget->statusTip());
        check(widget, widget->accessibleName());
        check(widget, widget->accessibleDescription());
        if (auto* label = qobject_cast<const QLabel*>(widget)) check(label, label->text());
        if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            check(button, button->text());
        if (auto* group = qobject_cast<const QGroupBox*>(widget)) check(group, group->title());
        if (auto* edit = qobject_cast<const QLineEdit*>(widget))
            check(edit, edit->placeholderText());
        if (auto* memo = qobject_cast<const QPlainTextEdit*>(widget))
            check(memo, memo->placeholderText());
        for (const QAction* action : widget->actions()) {
            check(action, action->text());
            check(action, action->toolTip());
        }
        if (auto* menu = qobject_cast<const QMenu*>(widget)) check(menu, menu->title());
    }
    return found;
}

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { MessageBox::clearShown(); }

    void theLocaleChoosesTheLanguage() {
        // LANGUAGE, LC_ALL, LC_MESSAGES, LANG.
        const struct {
            std::initializer_list<const char*> values;
            WindowLanguage expected;
        } cases[] = {
            {{nullptr, nullptr, nullptr, nullptr}, WindowLanguage::Russian},
            {{nullptr, nullptr, nullptr, "en_US.UTF-8"}, WindowLanguage::English},
            {{nullptr, nullptr, nullptr, "ru_RU.UTF-8"}, WindowLanguage::Russian},
            {{nullptr, nullptr, nullptr, "de_DE.UTF-8"}, WindowLanguage::Russian},
            {{nullptr, nullptr, nullptr, "C.UTF-8"}, WindowLanguage::Russian},
            {{"", "", "", "en_GB"}, WindowLanguage::English},
            // LANGUAGE: its first language of the two, but not over the C locale.
            {{"fr:en:ru", nullptr, nullptr, "de_DE.UTF-8"}, WindowLanguage::English},
            {{"ru:en", nullptr, nullptr, "en_US.UTF-8"}, WindowLanguage::Russian},
            {{"en", nullptr, nullptr, "C"}, WindowLanguage::Russian},
            {{"en", nullptr, nullptr, nullptr}, WindowLanguage::Russian},
            // LC_ALL over LC_MESSAGES over LANG.
            {{nullptr, "ru_RU.UTF-8", "en_US.UTF-8", "en_US.UTF-8"}, WindowLanguage::Russian},
            {{nullptr, nullptr, "en_US.UTF-8", "ru_RU.UTF-8"}, WindowLanguage::English},
            {{nullptr, nullptr, nullptr, "en_IE@euro"}, WindowLanguage::English},
        };
        for (const auto& c : cases) {
            LocaleScope scope(c.values);
            QCOMPARE(windowLanguage(), c.expected);
        }
    }

    void helpFollowsTheLocale() {
        std::vector<const char*> argv{"abonex", "--help"};
        std::string russian;
        std::string english;
        {
            LocaleScope scope({nullptr, nullptr, nullptr, "ru_RU.UTF-8"});
            std::ostringstream out;
            QCOMPARE(answerCommandLine(2, argv.data(), out), std::optional<int>(0));
            russian = out.str();
        }
        {
            LocaleScope scope({nullptr, nullptr, nullptr, "en_US.UTF-8"});
            std::ostringstream out;
            QCOMPARE(answerCommandLine(2, argv.data(), out), std::optional<int>(0));
            english = out.str();
        }
        QVERIFY(russian.rfind("использование: abonex [--help | --version]\n", 0) == 0);
        QVERIFY(english.rfind("usage: abonex [--help | --version]\n", 0) == 0);
        QVERIFY(!cyrillic(QString::fromStdString(english)));
        // Both list the same options.
        for (const char* option : {"--help", "--version", "--table", "--record", "abonex-db(1)"}) {
            QVERIFY2(russian.find(option) != std::string::npos, option);
            QVERIFY2(english.find(option) != std::string::npos, option);
        }
    }

    void theMainWindowIsWhollyEnglish() {
        WindowSession s;
        s.start();
        TFMain* window = s.window();
        QCOMPARE(window->windowTitle(),
                 QStringLiteral("Abonex (directory enquiries after 20:00) v. 4"));
        QCOMPARE(s.child<QLineEdit>("edFam")->accessibleName(),
                 QStringLiteral("Search by surname"));
        const QStringList left = russianTexts(window);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u'\n')));
        // The grid's column captions.
        auto* grid = s.child<QTableView>("GxDBGrid1");
        for (int column = 0; column < 3; ++column) {
            const QString caption =
                grid->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
            QVERIFY2(!caption.isEmpty() && !cyrillic(caption), qPrintable(caption));
        }
    }

    void theDialogsAreWhollyEnglish() {
        TFEditRecord record(nullptr);
        TForm2 about(nullptr);
        ModemSettingsDialog modem(ModemSettings{}, ModemSettingsDialog::ModemQuery{}, nullptr);
        for (const QWidget* dialog :
             std::initializer_list<const QWidget*>{&record, &about, &modem}) {
            const QStringList left = russianTexts(dialog);
            QVERIFY2(left.isEmpty(), qPrintable(left.join(u'\n')));
        }
        QCOMPARE(record.windowTitle(), QStringLiteral("Edit record"));
        QCOMPARE(modem.windowTitle(), QStringLiteral("Modem settings"));
    }

    void messageBoxesSpeakEnglish() {
        const char* const lines[] = {"Проверьте не испорчены ли файлы:", "Phone.dbf;"};
        QCOMPARE(MessageBox::crLfLines(lines),
                 QStringLiteral("Check whether these files are damaged:\r\nPhone.dbf;"));
    }
};

int main(int argc, char** argv) {
    for (const char* name : kLocaleVariables) qunsetenv(name);
    qputenv("LANG", "en_US.UTF-8");
    Application app(argc, argv);
    MessageBox::setInteractive(false);
    WindowLanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_language_test.moc"
