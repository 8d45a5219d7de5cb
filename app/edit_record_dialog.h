// TFEditRecord: the dialog that edits one record of a directory table.
//
// Its four editors are bound to four fields of a data set that the caller has put into edit or
// insert state: they show the fields' texts when bound and write them back with storeFields(),
// straight between the table's code page and Unicode; a character the page lacks is stored in
// its nearest form (engine/dbf/near_form.h), and one without is refused naming the field.
// "Применить" first checks what was typed: a record without a name and without a phone, or a
// text longer than its field, is refused with a message saying why, and the dialog stays open
// on the editor to mend (nothing is ever cut to fit or stored blank). Then it runs the
// caller's apply action (store the fields, post the record) and closes the dialog with result
// Accepted once it succeeded. An apply that fails shows its error once and
// leaves the dialog open with what the user typed: "Применить" tries again, "Отмена", Escape
// and the close box close it with Rejected and the caller cancels the record. So a record whose
// post failed is never left behind in edit or insert state for a later command to post unseen.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace abonex {

class TEngineDataSet;

class TFEditRecord : public QDialog {
    Q_OBJECT
  public:
    explicit TFEditRecord(QWidget* parent = nullptr);

    // Binds dbeName, dbePhone1, dbePhone2 and dbmComment to the fields `fieldNames` (in that
    // order) of `dataSet` and shows their texts.
    void bindFields(TEngineDataSet& dataSet, const std::array<std::string, 4>& fieldNames);
    // Writes the editors' texts into the bound fields of the current row.
    void storeFields();
    // What "Применить" does before the dialog closes (without one it just closes).
    void setApplyAction(std::function<void()> apply) { m_apply = std::move(apply); }

    QLabel* Label1 = nullptr;
    QLineEdit* dbeName = nullptr;
    QLineEdit* dbePhone1 = nullptr;
    QLineEdit* dbePhone2 = nullptr;
    QPlainTextEdit* dbmComment = nullptr;
    QPushButton* bbPost = nullptr;
    QPushButton* cancelButton = nullptr;

  private:
    void apply();
    // The message for what was typed when it cannot be stored, and the editor it concerns;
    // empty when it can.
    QString refusal(QWidget** editor) const;

    TEngineDataSet* m_dataSet = nullptr;
    std::array<std::string, 4> m_fieldNames;
    std::array<int, 4> m_fieldSizes{};
    std::function<void()> m_apply;
};

}  // namespace abonex
