// TFMain's three tables: set up, checked for and opened from the program folder and re-indexed
// at start-up; re-indexed again and closed when the window closes.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QThread>
#include <QToolButton>
#include <QToolTip>
#include <string_view>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "dial/tapi_dial.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/windows_color.h"

namespace abonex {

namespace {

constexpr int kHintPause = 100;

const char* const kInstallErrorLines[] = {
    "Телефонный справочник установлен неправильно.",
    "Пожалуйста, переустановите пакет abonex и не изменяйте",
    "после установки местоположение и содержимое",
    "папки, которую выберите для установки.",
};

const char* const kDatabaseErrorLines[] = {
    "По какой-то причине невозможно открыть базу данных.",
    "Проверьте не испорчены ли файлы:",
    "Phone.dbf;",
    "Org.dbf;",
    "Favor.dbf;",
    "Phone.dbt;",
    "Org.dbt;",
    "Favor.dbt;",
    "Phone.mdx;",
    "Org.mdx;",
    "Favor.mdx...",
};

}  // namespace

void TFMain::setUpDataSets() {
    std::array<TEngineDataSet*, 3> dataSets{&DSet, &DSOrg, &DSFavor};
    for (size_t i = 0; i < dataSets.size(); ++i) {
        TEngineDataSet& dataSet = *dataSets[i];
        const DirectoryTable& table = kDirectoryTables[i];
        dataSet.BeforeOpen = [this](TEngineDataSet& d) { DSetBeforeOpen(d); };
        dataSet.setTranslateASCII(true);
        dataSet.setExclusive(false);
        dataSet.setAutoFlush(false);
        dataSet.setUseDeleted(false);
        dataSet.setLockProtocol(table.protocol);
        dataSet.setTableName(table.tableFile);
        dataSet.setIndexName(table.tagName);
        dataSet.setIndexFiles({std::string(table.indexFile)});
        dataSet.setFiltered(true);
        dataSet.OnFilterRecord = [this](TEngineDataSet& d, bool& accept) {
            DSetFilterRecord(m_search, d, accept);
        };
        dataSet.OnFilterKey = [this](TEngineDataSet& d) { return searchKeyFilter(m_search, d); };
        dataSet.OnFilterBytes = [this](TEngineDataSet&) { return searchBytesTest(m_search); };
        dataSet.AfterPost = [this](TEngineDataSet& d) { DSOrgAfterInsert(d); };
        dataSet.BeforeDelete = [this](TEngineDataSet& d) { DSetBeforeDelete(d); };
        dataSet.AfterScroll = [this](TEngineDataSet& d) { DSetAfterScroll(d); };
        dataSet.OnDataChange = [this](TEngineDataSet& d) { dataSetChanged(d); };
    }
    DSet.AfterOpen = [this](TEngineDataSet& d) { DSetAfterOpen(d); };
    DSOrg.AfterOpen = [this](TEngineDataSet& d) { DSOrgAfterOpen(d); };
    DSFavor.AfterOpen = [this](TEngineDataSet& d) { DSFavorAfterOpen(d); };
    DSOrg.AfterClose = [this](TEngineDataSet& d) { DSOrgAfterClose(d); };
    DSFavor.AfterClose = [this](TEngineDataSet& d) { DSFavorAfterClose(d); };
}

void TFMain::FormCreate() {
    // The program folder, kept as found; upper case is used only to compare names.
    QString folder =
        m_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_programFolder;
    if (!folder.isEmpty() && !folder.endsWith(u'/')) folder += u'/';
    m_databaseFolder = folder;
    if (folder.isEmpty()) {
        ShowInstallError();
        return;
    }
    QDir::setCurrent(folder);  // a failure is ignored: every path below is absolute
    if (!holdsProgramFiles(localPath(folder))) {
        ShowInstallError();
        return;
    }

    QPalette hints = QToolTip::palette();
    hints.setColor(QPalette::ToolTipBase, windowsColor(kHintColour));
    hints.setColor(QPalette::ToolTipText, Qt::black);
    QToolTip::setPalette(hints);
    Application::setHintPause(kHintPause);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive) ShowTableStatus();
            });

    setUpDataSets();
    openTables();
}

void TFMain::decideReadOnly() {
    // A file nobody may write (no write bit at all) counts as read-only even for a user the
    // system would let write it: the administrator made it so.
    const auto writable = [&](std::string_view name) {
        const std::string path = localPath(m_databaseFolder + QString::fromLatin1(name));
        if (!fileExistsAnyCase(path)) return true;
        const QFileInfo file(fromLocalPath(resolveCaseInsensitive(path)));
        return file.isWritable() && (file.permissions() & (QFile::WriteOwner | QFile::WriteGroup |
                                                           QFile::WriteOther)) != 0;
    };
    m_readOnly = false;
    for (const DirectoryTable& table : kDirectoryTables) {
        if (!writable(table.tableFile) || !writable(table.indexFile)) m_readOnly = true;
    }
    mnuUpdateFromTable->setEnabled(!m_readOnly);
    if (!m_readOnly) return;
    const QString group = QFileInfo(m_databaseFolder).group();
    const QString why =
        group.isEmpty() || group == QStringLiteral("root")
            ? QStringLiteral("Только чтение: нет прав на запись в файлы справочника")
            : QStringLiteral("Только чтение: изменять справочник могут члены группы ") + group;
    // The line is narrow at the design size: the mark stays whole, the reason is its hint.
    m_readOnlyNote->setText(QStringLiteral("Только чтение"));
    m_readOnlyNote->setToolTip(why);
    m_readOnlyNote->setStatusTip(why);
    m_readOnlyNote->show();
    updateRecordItems();
}

void TFMain::openTables() {
    const auto exists = [&](std::string_view name) {
        return fileExistsAnyCase(localPath(m_databaseFolder + QString::fromLatin1(name)));
    };
    decideReadOnly();
    try {
        if (DSet.Active()) DSet.Close();
        for (const DirectoryTable& table : kDirectoryTables) {
            ModeView& view = modeView(table.mode);
            // The persons table is there (the installation check found it); the others are
            // opened, and their buttons enabled, only where both their files are.
            if (table.mode != DirectoryMode::Persons) {
                view.button->setEnabled(exists(table.tableFile) && exists(table.indexFile));
                if (!view.button->isEnabled()) continue;
            }
            TEngineDataSet& dataSet = *view.dataSet;
            dataSet.setTableName(table.tableFile);
            // Read-only, the index files are used as they are: rebuilding them is writing.
            dataSet.setReadOnly(m_readOnly);
            dataSet.Open();
            reopenForeignPageReadOnly(dataSet);
            // A table the window only shows is not written, its index files neither. Whether the
            // table has rows is asked of the table file, not of its index: an index that another
            // program left without the rows it added would hide them for good.
            if (!dataSet.ReadOnly() && dataSet.RecordCount() > 0) {
                dataSet.ReindexAll();
                dataSet.OpenIndexFiles(table.indexFile, table.tagName);
            }
        }
        if (!btnFavorit->isEnabled() || m_readOnly) addKont->setEnabled(false);
    } catch (const std::exception&) {
        for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) {
            try {
                dataSet->Close();
            } catch (const std::exception&) {
                // Closing what failed to open must not hide the message below.
            }
        }
        MessageBox::error(this, QStringLiteral("Error"),
                          MessageBox::crLfLines(kDatabaseErrorLines));
    }
}

void TFMain::ShowInstallError() {
    m_startupFailed = true;
    hide();
    MessageBox::error(nullptr, QStringLiteral("Error"), MessageBox::crLfLines(kInstallErrorLines));
    // At start-up the event loop does not run yet, and the entry ends the program on
    // startupFailed(); a quit asked for now would end the first loop that runs later instead.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(1);
}

void TFMain::FormClose() {
    m_returnToPersonsOnClose = false;
    if (DSet.Active()) {
        m_model->setDataSet(nullptr);
        try {
            DSet.setFiltered(false);
            if (btnOrg->isEnabled()) {
                DSOrg.setFiltered(false);
                if (!DSOrg.ReadOnly()) DSOrg.ReindexAll();
            }
            if (btnFavorit->isEnabled()) {
                DSFavor.setFiltered(false);
                if (!DSFavor.ReadOnly()) DSFavor.ReindexAll();
            }
            QCoreApplication::processEvents();
            if (!DSet.ReadOnly()) DSet.ReindexAll();
            Dialer3->HangUp();
        } catch (const std::exception& error) {
            for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
            Application::showException(error);
        }
        for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
    }
    QToolTip::setPalette(QApplication::style()->standardPalette());
}

}  // namespace abonex
