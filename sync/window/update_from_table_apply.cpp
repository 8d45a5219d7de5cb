// TFUpdateFromTable: applying the checked differences to the own or the external table.
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <algorithm>

#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/window/difference_list.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"

namespace abonex {

namespace {

const char* const kApplyWarningLines[] = {
    QT_TRANSLATE_NOOP("abonex::TFUpdateFromTable",
                      "Эта процедура находится в стадии тестирования."),
    QT_TRANSLATE_NOOP(
        "abonex::TFUpdateFromTable",
        "Прежде, чем воспользоваться ею, сохраните резервные копии файлов базы данных:"),
    "- Phone.DBF;",
    "- Phone.MDX;",
    "- Org.DBF;",
    "- Org.MDX.",
    "",
    QT_TRANSLATE_NOOP("abonex::TFUpdateFromTable", "Продолжить выполнение?"),
};

}  // namespace

void TFUpdateFromTable::btnApplyClick() {
    QStringList warning;
    for (const char* line : kApplyWarningLines) warning << tr(line);
    if (MessageBox::question(this, tr("Внимание!!!"), lines(warning), QMessageBox::No,
                             QMessageBox::Warning) != QMessageBox::Yes) {
        return;
    }
    for (QPushButton* button : {btnBack, btnApply, btnCancel, btnCheckAll, btnUncheckAll}) {
        button->setEnabled(false);
    }
    changesList->setEnabled(false);
    const ChangeSide side = chMy->isChecked() ? ChangeSide::Own : ChangeSide::External;
    dsChange.Close();
    openChangeTable(dsChange, side == ChangeSide::Own ? ownFolder() : externalFolder(),
                    tableFileName());
    // In steps from the event loop: the window keeps answering through a long apply.
    pbApply->setRange(0, 0);
    pbApply->show();
    m_applyRun.start(dsChange, direction(), side, m_differences->entries(),
                     m_differences->checked());
}

void TFUpdateFromTable::applyProgressed(int done, int total) {
    pbApply->setRange(0, std::max(total, 1));
    pbApply->setValue(std::min(done, std::max(total, 1)));
}

void TFUpdateFromTable::applyFinished() {
    pbApply->hide();
    changesList->setEnabled(true);
    const ApplyCounts counts = m_applyRun.counts();
    QStringList summary{tr("Изменено телефонов: %1.").arg(counts.changed),
                        tr("Добавлено записей: %1.").arg(counts.added),
                        tr("Удалено записей: %1.").arg(counts.deleted)};
    if (counts.skipped > 0) {
        summary << tr("Не применено отличий: %1.").arg(counts.skipped)
                << tr("Записи, к которым они относятся, изменены или удалены после проверки.");
    }
    MessageBox::information(this, tr("Изменения применены"), lines(summary));
    showComparisonPage();
}

void TFUpdateFromTable::applyFailed(std::exception_ptr error) {
    // The rows before the failing one stay applied; page 2 stays with its buttons disabled,
    // and the window can then be closed from its title bar.
    pbApply->hide();
    m_applyFailed = true;
    std::rethrow_exception(error);  // the application's error box shows it
}

}  // namespace abonex
