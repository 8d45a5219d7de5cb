// TFMain's record maintenance, the items of the grid's pop-up menu: insert, edit and delete a
// record of the table shown, and copy one into the favourites.
#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <array>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/directory_model.h"
#include "app/edit_record_dialog.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

// A menu caption that shows `text` as it is (an "&" in a name is not an access key).
QString plainCaption(const QString& text) {
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&&"));
}

}  // namespace

void TFMain::EditCurrentRecord() {
    TEngineDataSet& dataSet = gridDataSet();
    TFEditRecord dialog(this);
    try {
        if (dataSet.State() == DataSetState::Insert) {
            dialog.setWindowTitle(tr("Новая запись"));
        }
        dialog.bindFields(dataSet, gridFieldNames());
        dialog.Label1->setText(m_model->columnCaption(0));
    } catch (...) {
        dataSet.Cancel();
        throw;
    }
    // The record is posted by "Применить" while the dialog is still open: a post that fails
    // (a lock time-out, a write error) keeps it open for another try or a cancel, and the record
    // never stays in edit or insert state for the next command to post unseen.
    dialog.setApplyAction([&] {
        dialog.storeFields();
        dataSet.Post();
    });
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The window takes the focus back from its dialog, after the record is written, even where
    // no window manager hands it over; that activation empties the name box and re-applies the
    // filter.
    struct Reactivate {
        QWidget* window;
        ~Reactivate() { window->activateWindow(); }
    } reactivate{this};
    if (!accepted) dataSet.Cancel();
}

void TFMain::insRecClick() {
    if (gridDataSet().ReadOnly()) return;  // a table in another code page is only shown
    userOperation([&] {
        gridDataSet().Insert();
        EditCurrentRecord();
    });
}

void TFMain::redRecClick() {
    if (gridDataSet().ReadOnly()) return;
    userOperation([&] {
        gridDataSet().Edit();
        EditCurrentRecord();
    });
}

void TFMain::delRecClick() {
    if (gridDataSet().ReadOnly()) return;
    userOperation([&] { gridDataSet().Delete(); });
}

void TFMain::DSetBeforeDelete(TEngineDataSet& dataSet) {
    const QString question = tr("Удалить из базы\n\r") +
                             fromAnsi(dataSet.Fields(kFieldName).AsString()) +
                             tr("\n\r\n\rВы уверены?");
    if (MessageBox::question(this, tr("Удаление записи?"), question, QMessageBox::No) !=
        QMessageBox::Yes) {
        if (dataSet.State() == DataSetState::Edit || dataSet.State() == DataSetState::Insert) {
            dataSet.Cancel();
        }
        abortOperation();
    }
}

void TFMain::DSOrgAfterInsert(TEngineDataSet& dataSet) {
    dataSet.Refresh();
}

void TFMain::addKontClick() {
    if (DSFavor.ReadOnly()) return;
    userOperation([&] {
        TEngineDataSet& source = gridDataSet();
        if (!source.Active() || source.IsEmpty()) return;
        const std::array<std::string, 3> copied{source.Fields(kFieldName).AsString(),
                                                source.Fields(kFieldPhone1).AsString(),
                                                source.Fields(kFieldPhone2).AsString()};
        const QString name = fromAnsi(copied[0]);
        // A second copy of the same contact would only be a second row to keep up to date.
        if (holdsFavourite(copied)) {
            MessageBox::information(this, QStringLiteral("Information"),
                                    QStringLiteral("«") + name +
                                        tr("» уже есть в фаворитах: вторая копия "
                                           "не добавлена."));
            return;
        }
        DSFavor.Append();
        for (size_t field = 0; field < copied.size(); ++field) {
            DSFavor.Fields(static_cast<int>(field)).SetAsString(copied[field]);
        }
        // The address or whatever else the row's comment holds comes along.
        DSFavor.Fields(kFieldComment).SetAsString(source.Fields(kFieldComment).AsString());
        DSFavor.Post();
        MessageBox::information(this, QStringLiteral("Information"),
                                QStringLiteral("«") + name + tr("» добавлен в фавориты."));
    });
}

bool TFMain::holdsFavourite(const std::array<std::string, 3>& fields) {
    // The favourites are the user's own few contacts: read them all, as they are on disk now
    // (another copy of the program may have added the same one).
    for (int after = 0;;) {
        const std::vector<DataSetRow> rows = DSFavor.fetchRows(after, DirectoryModel::kBlockRows);
        for (const DataSetRow& row : rows) {
            if (row.values.size() > 2 && row.values[0] == fields[0] && row.values[1] == fields[1] &&
                row.values[2] == fields[2]) {
                return true;
            }
        }
        if (rows.size() < static_cast<size_t>(DirectoryModel::kBlockRows)) return false;
        after = rows.back().recordNumber;
    }
}

void TFMain::updateRecordItems() {
    userOperation([&] {
        TEngineDataSet& dataSet = gridDataSet();
        const bool hasRows = dataSet.Active() && !dataSet.IsEmpty();
        // A record can be added to any open table, an empty one (a new directory, a search
        // that found nothing) above all; nothing is written where the user may only read.
        const bool writable = dataSet.Active() && !dataSet.ReadOnly();
        insRec->setEnabled(writable);
        for (QAction* item : {redRec, delRec}) item->setEnabled(hasRows && writable);
        mnuRing->setEnabled(hasRows);
        addKont->setEnabled(hasRows && m_mode != DirectoryMode::Favourites && DSFavor.Active() &&
                            !DSFavor.ReadOnly());
    });
}

void TFMain::mnuPopPopup() {
    updateRecordItems();
    userOperation([&] {
        TEngineDataSet& dataSet = gridDataSet();
        const bool hasRows = dataSet.Active() && !dataSet.IsEmpty();
        for (QAction* item : {mnuCopyPhone, mnuCopyRow}) item->setEnabled(hasRows);
        addKont->setText(tr("Добавить в контакты"));
        mnuRing->setText(tr("Набрать номер"));
        if (hasRows && !dataSet.Fields(kFieldName).IsNull()) {
            addKont->setText(plainCaption(
                tr("Добавить в контакты (") + fromAnsi(dataSet.Fields(kFieldName).AsString()) +
                tr(" тел. ") + fromAnsi(dataSet.Fields(kFieldPhone1).AsString()) + u')'));
            mnuRing->setText(plainCaption(
                tr("Набрать номер (") + fromAnsi(dataSet.Fields(kFieldPhone1).AsString()) + u')'));
        }
    });
}

}  // namespace abonex
