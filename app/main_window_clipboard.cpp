// TFMain's copying from the grid: "Копировать номер" puts the current row's number on the
// clipboard (the one the dial command would call), "Копировать запись" (Ctrl+C in the grid)
// the whole row, its fields separated by tabs as a spreadsheet takes them.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QStringList>
#include <QTableView>

#include "app/application.h"
#include "app/main_window.h"
#include "ui/text_codec.h"

namespace abonex {

void TFMain::buildCopyItems() {
    GridPopUp->addSeparator();
    mnuCopyPhone = GridPopUp->addAction(tr("Копировать номер"));
    mnuCopyPhone->setObjectName(QStringLiteral("mnuCopyPhone"));
    mnuCopyPhone->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    mnuCopyPhone->setShortcutContext(Qt::WindowShortcut);
    mnuCopyPhone->setStatusTip(tr("Копирует номер текущей записи: тот, что набрал бы звонок"));
    connect(mnuCopyPhone, &QAction::triggered, this, &TFMain::mnuCopyPhoneClick);
    mnuCopyRow =
        GridPopUp->addAction(tr("Копировать запись (имя, телефоны, "
                                "комментарий)"));
    mnuCopyRow->setObjectName(QStringLiteral("mnuCopyRow"));
    // Ctrl+C of the grid only: in a search box it copies the box's text, as everywhere.
    mnuCopyRow->setShortcut(QKeySequence::Copy);
    mnuCopyRow->setShortcutContext(Qt::WidgetShortcut);
    connect(mnuCopyRow, &QAction::triggered, this, &TFMain::mnuCopyRowClick);
}

void TFMain::mnuCopyPhoneClick() {
    userOperation([&] {
        TEngineDataSet& dataSet = gridDataSet();
        if (!dataSet.Active() || dataSet.IsEmpty()) return;
        const QString number = fromAnsi(dataSet.Fields(currentPhoneField()).AsString());
        if (!number.isEmpty()) QGuiApplication::clipboard()->setText(number);
    });
}

void TFMain::mnuCopyRowClick() {
    userOperation([&] {
        TEngineDataSet& dataSet = gridDataSet();
        if (!dataSet.Active() || dataSet.IsEmpty()) return;
        QStringList fields;
        for (int field : {kFieldName, kFieldPhone1, kFieldPhone2, kFieldComment}) {
            // A line break of the comment would end the row where it is pasted.
            fields << fromAnsi(dataSet.Fields(field).AsString())
                          .replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        }
        QGuiApplication::clipboard()->setText(fields.join(u'\t'));
    });
}

}  // namespace abonex
