// TFEditRecord: the dialog that edits one record of a directory table.
//
// Its four editors are bound to four fields of a data set that the caller has put into edit or
// insert state: they show the fields' texts when bound and write them back with storeFields().
// "Применить" closes it with result Accepted, "Отмена", Escape and the close box with Rejected;
// the caller posts or cancels the record accordingly.
#pragma once

#include <QDialog>
#include <array>
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

    QLabel* Label1 = nullptr;
    QLineEdit* dbeName = nullptr;
    QLineEdit* dbePhone1 = nullptr;
    QLineEdit* dbePhone2 = nullptr;
    QPlainTextEdit* dbmComment = nullptr;
    QPushButton* bbPost = nullptr;
    QPushButton* cancelButton = nullptr;

  private:
    TEngineDataSet* m_dataSet = nullptr;
    std::array<std::string, 4> m_fieldNames;
};

}  // namespace abonex
