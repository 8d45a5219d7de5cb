// TFMain's three tables: set up, checked for and opened from the program folder and re-indexed
// at start-up; re-indexed again and closed when the window closes. A table whose index the quick
// look finds whole is shown from it first and rebuilt on a thread once the first rows are
// painted; the closing rebuild runs in a process of its own, so the window's process ends at once.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPalette>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <string_view>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/main_window.h"
#include "dial/tapi_dial.h"
#include "directory/index_rebuild.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"
#include "ui/message_box.h"
#include "ui/windows_color.h"

namespace abonex {

namespace {

constexpr int kHintPause = 100;
// How often a reload that waits for an edit or a dialog to end looks again, in milliseconds.
constexpr int kReloadRetry = 250;

const char* const kInstallErrorLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Телефонный справочник установлен неправильно."),
    QT_TRANSLATE_NOOP("abonex::MessageBox",
                      "Пожалуйста, переустановите пакет abonex и не изменяйте"),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "после установки местоположение и содержимое"),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "папки, которую выберите для установки."),
};

const char* const kDatabaseErrorLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox", "По какой-то причине невозможно открыть базу данных."),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Проверьте не испорчены ли файлы:"),
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
        dataSet.setAutoFlush(kCommitPoints);
        dataSet.setUseDeleted(false);
        dataSet.setLockProtocol(table.protocol);
        dataSet.setTableName(table.tableFile);
        dataSet.setIndexName(table.tagName);
        dataSet.setIndexFiles({std::string(table.indexFile)});
        dataSet.setFiltered(true);
        attachSearch(dataSet, m_search);
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
    const QString why = group.isEmpty() || group == QStringLiteral("root")
                            ? tr("Только чтение: нет прав на запись в файлы справочника")
                            : tr("Только чтение: изменять справочник могут члены группы ") + group;
    // The line is narrow at the design size: the mark stays whole, the reason is its hint.
    m_readOnlyNote->setText(tr("Только чтение"));
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
                // An index that covers the table shows its rows at once and is rebuilt after
                // the first paint; any other is rebuilt before a row is shown.
                if (dataSet.IndexesCoverTable()) {
                    m_deferredRebuilds.push_back(table.mode);
                } else {
                    dataSet.ReindexAll();
                }
                dataSet.OpenIndexFiles(table.indexFile, table.tagName);
            }
        }
        if (!btnFavorit->isEnabled() || m_readOnly) addKont->setEnabled(false);
    } catch (const std::exception&) {
        closeTablesWithDatabaseError();
    }
}

void TFMain::closeTablesWithDatabaseError() {
    m_deferredRebuilds.clear();
    for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) {
        try {
            dataSet->Close();
        } catch (const std::exception&) {
            // Closing what failed to open must not hide the message below.
        }
    }
    MessageBox::error(this, QStringLiteral("Error"), MessageBox::crLfLines(kDatabaseErrorLines));
}

void TFMain::startDeferredRebuild() {
    if (m_deferredRebuildStarted || m_deferredRebuilds.empty()) return;
    m_deferredRebuildStarted = true;
    m_stopRebuild = false;
    const std::string folder = localPath(m_databaseFolder);
    const std::vector<DirectoryMode> modes = m_deferredRebuilds;
    // The thread opens the tables with handles of its own and takes the locks every rebuild
    // takes; the window's handles read beside it as another copy's would. It is joined before
    // the window goes, so it may name the window; its result comes back as a queued call.
    m_rebuildThread = std::thread([this, folder, modes] {
        QString error;
        try {
            for (const DirectoryMode mode : modes) {
                rebuildDirectoryIndex(folder, mode, [this] { return !m_stopRebuild.load(); });
            }
        } catch (const EAbort&) {
            return;
        } catch (const std::exception& failure) {
            error = QString::fromUtf8(failure.what());
        }
        QMetaObject::invokeMethod(
            this, [this, modes, error] { deferredRebuildDone(modes, error); },
            Qt::QueuedConnection);
    });
}

void TFMain::deferredRebuildDone(const std::vector<DirectoryMode>& rebuilt, const QString& error) {
    // A window that closed meanwhile has handed the rebuild on to the closing one.
    if (m_deferredRebuilds.empty()) return;
    // An edit in progress, or a dialog over the window, is not interrupted: the reload waits.
    const bool editing = std::any_of(m_modes.begin(), m_modes.end(), [](const ModeView& view) {
        return view.dataSet->State() == DataSetState::Edit ||
               view.dataSet->State() == DataSetState::Insert;
    });
    if (editing || QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(kReloadRetry, this,
                           [this, rebuilt, error] { deferredRebuildDone(rebuilt, error); });
        return;
    }
    if (m_rebuildThread.joinable()) m_rebuildThread.join();
    m_deferredRebuilds.clear();
    if (!error.isEmpty()) {
        closeTablesWithDatabaseError();
        return;
    }
    // The rows are read again with the search that was last run, not with text typed into the
    // boxes since and not yet run; the current record stays current.
    m_search = m_lastRunSearch;
    userOperation([&] {
        for (const DirectoryMode mode : rebuilt) {
            TEngineDataSet& dataSet = *modeView(mode).dataSet;
            if (!dataSet.Active()) continue;
            const DirectoryTable& table = directoryTable(mode);
            const int record = dataSet.RecNo();
            dataSet.OpenIndexFiles(table.indexFile, table.tagName);
            if (record > 0) {
                try {
                    dataSet.GotoRecNo(record);
                } catch (const std::exception&) {
                    // Another copy cut the record away meanwhile: the first row stays current.
                }
            }
            if (&dataSet == m_model->dataSet()) {
                followCurrentRecord();
                setDataSetStatus(dataSet);
            }
        }
    });
    if (m_searchAfterRebuild) {
        m_searchAfterRebuild = false;
        btnFiltrClick();
    }
}

void TFMain::stopDeferredRebuild() {
    if (!m_rebuildThread.joinable()) return;
    m_stopRebuild = true;
    m_rebuildThread.join();
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
    hide();
    stopDeferredRebuild();
    m_deferredRebuilds.clear();
    if (DSet.Active()) {
        m_model->setDataSet(nullptr);
        std::vector<DirectoryMode> rebuilds;
        try {
            DSet.setFiltered(false);
            if (btnOrg->isEnabled()) {
                DSOrg.setFiltered(false);
                if (!DSOrg.ReadOnly()) rebuilds.push_back(DirectoryMode::Organisations);
            }
            if (btnFavorit->isEnabled()) {
                DSFavor.setFiltered(false);
                if (!DSFavor.ReadOnly()) rebuilds.push_back(DirectoryMode::Favourites);
            }
            QCoreApplication::processEvents();
            if (!DSet.ReadOnly()) rebuilds.push_back(DirectoryMode::Persons);
            Dialer3->HangUp();
        } catch (const std::exception& error) {
            rebuilds.clear();
            for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
            Application::showException(error);
        }
        // The tables are closed before the rebuild: it opens them afresh, in another process or
        // here, and waits for the locks every rebuild takes.
        for (TEngineDataSet* dataSet : {&DSet, &DSOrg, &DSFavor}) dataSet->Close();
        if (!rebuilds.empty()) runClosingRebuild(rebuilds);
    }
    QToolTip::setPalette(QApplication::style()->standardPalette());
}

void TFMain::runClosingRebuild(const std::vector<DirectoryMode>& modes) {
    const std::string folder = localPath(m_databaseFolder);
    m_closingRebuildProcess = -1;
    if (!m_closingRebuildProgram.isEmpty()) {
        const pid_t process =
            startDetachedRebuild(localPath(m_closingRebuildProgram), folder, modes);
        if (process > 0) {
            m_closingRebuildProcess = process;
            return;
        }
    }
    for (const DirectoryMode mode : modes) {
        try {
            rebuildDirectoryIndex(folder, mode);
        } catch (const std::exception& error) {
            Application::showException(error);
            return;
        }
    }
}

}  // namespace abonex
