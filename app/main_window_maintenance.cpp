// Table maintenance in the menu "Телефоны": the deleted rows of the table shown, listed and
// recalled ("Удалённые записи"), and the table packed ("Сжать таблицу…").
#include <QAction>
#include <QMenu>
#include <QToolButton>

#include "app/application.h"
#include "app/deleted_rows_dialog.h"
#include "app/main_window.h"
#include "directory/directory_pack.h"
#include "ui/local_path.h"
#include "ui/message_box.h"

namespace abonex {

void TFMain::buildMaintenanceItems(QMenu* phones) {
    mnuDeleted = phones->addAction(tr("Удалённые записи"));
    mnuDeleted->setObjectName(QStringLiteral("mnuDeleted"));
    connect(mnuDeleted, &QAction::triggered, this, &TFMain::mnuDeletedClick);
    mnuPack = phones->addAction(tr("Сжать таблицу…"));
    mnuPack->setObjectName(QStringLiteral("mnuPack"));
    connect(mnuPack, &QAction::triggered, this, &TFMain::mnuPackClick);
    connect(phones, &QMenu::aboutToShow, this, [this] {
        const TEngineDataSet& dataSet = gridDataSet();
        mnuDeleted->setEnabled(dataSet.Active());
        mnuPack->setEnabled(dataSet.Active() && !dataSet.ReadOnly());
    });
}

void TFMain::mnuDeletedClick() {
    TEngineDataSet& dataSet = gridDataSet();
    if (!dataSet.Active()) return;
    DeletedRowsDialog dialog(dataSet, modeView(m_mode).nameCaption, this);
    dialog.exec();
    if (dialog.recalledCount() > 0) userOperation([&] { dataSet.Refresh(); });
}

void TFMain::mnuPackClick() {
    TEngineDataSet& dataSet = gridDataSet();
    if (!dataSet.Active() || dataSet.ReadOnly()) return;
    int deleted = 0;
    try {
        deleted = deletedRecordCount(dataSet);
    } catch (const std::exception& error) {
        Application::showException(error);
        return;
    }
    if (deleted == 0) {
        MessageBox::information(this, tr("Сжатие таблицы"), tr("В таблице нет удалённых записей."));
        return;
    }
    const QString question = tr("Удалённых записей: %1.\r\nОни будут удалены из таблицы навсегда и "
                                "восстановить их будет нельзя.\r\n\r\nСжать таблицу?")
                                 .arg(deleted);
    if (MessageBox::question(this, tr("Сжатие таблицы"), question, QMessageBox::No) !=
        QMessageBox::Yes) {
        return;
    }
    // The window lets its own files go for the pack, which needs the table to itself; closing
    // the table for it is no reason to leave the mode shown.
    stopDeferredRebuild();
    const bool returnToPersons = m_returnToPersonsOnClose;
    m_returnToPersonsOnClose = false;
    const DirectoryMode mode = m_mode;
    dataSet.Close();
    try {
        const PackResult result = packDirectoryTable(localPath(m_databaseFolder), mode);
        MessageBox::information(this, tr("Сжатие таблицы"),
                                tr("Таблица сжата: записей %1, удалено %2.")
                                    .arg(result.liveRecords)
                                    .arg(result.deletedRecords));
    } catch (const ETableInUse&) {
        MessageBox::warning(this, tr("Сжатие таблицы"),
                            tr("Таблица открыта в другой копии программы (на этом или "
                               "другом компьютере).\r\nСжать её можно, только когда "
                               "другие копии её закроют."));
    } catch (const std::exception& error) {
        Application::showException(error);
    }
    userOperation([&] {
        dataSet.Open();
        if (!dataSet.IndexesCoverTable()) dataSet.ReindexAll();
    });
    m_returnToPersonsOnClose = returnToPersons;
    btnUserClick(modeView(mode).button);
}

}  // namespace abonex
