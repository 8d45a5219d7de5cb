// TFUpdateFromTable: applying the checked differences to the own or the external table.
#include <QPushButton>
#include <QRadioButton>

#include "sync/difference_apply.h"
#include "sync/sync_tables.h"
#include "sync/window/difference_list.h"
#include "sync/window/update_from_table.h"
#include "ui/message_box.h"

namespace abonex {

namespace {

const char* const kApplyWarningLines[] = {
    "Эта процедура находится в стадии тестирования.",
    "Прежде, чем воспользоваться ею, сохраните резервные копии файлов базы данных:",
    "- Phone.DBF;",
    "- Phone.MDX;",
    "- Org.DBF;",
    "- Org.MDX.",
    "",
    "Продолжить выполнение?",
};

}  // namespace

void TFUpdateFromTable::btnApplyClick() {
    QStringList warning;
    for (const char* line : kApplyWarningLines) warning << QString::fromUtf8(line);
    if (MessageBox::question(this, QStringLiteral("Внимание!!!"), lines(warning), QMessageBox::No,
                             QMessageBox::Warning) != QMessageBox::Yes) {
        return;
    }
    for (QPushButton* button : {btnBack, btnApply, btnCancel}) button->setEnabled(false);
    const ChangeSide side = chMy->isChecked() ? ChangeSide::Own : ChangeSide::External;
    dsChange.Close();
    openChangeTable(dsChange, side == ChangeSide::Own ? ownFolder() : externalFolder(),
                    tableFileName());
    // An error ends the apply at its row and reaches the application's error box; the rows
    // before it stay applied, and page 2 stays with its buttons disabled.
    DifferenceApply applying(dsChange, direction(), side);
    applying.run(m_differences->entries(), m_differences->checked());
    if (const int skipped = applying.counts().skipped; skipped > 0) {
        MessageBox::information(
            this, QStringLiteral("Изменения применены"),
            lines({QStringLiteral("Не применено отличий: %1.").arg(skipped),
                   QStringLiteral("Записи, к которым они относятся, изменены или удалены после "
                                  "проверки.")}));
    }
    showComparisonPage();
}

}  // namespace abonex
