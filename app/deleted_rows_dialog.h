// DeletedRowsDialog: "Удалённые записи", the rows of a table that a delete marked (name,
// phones, comment), in record order; "Восстановить" makes the chosen ones live again, with
// their keys, under the locks of a post (TEngineDataSet::Recall), and the list is read again.
//
// The list shows the table as it was read when the dialog opened or last recalled; a record
// another copy recalled meanwhile is left as it is.
#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "engine/dataset/engine_dataset.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace abonex {

class DeletedRowsDialog : public QDialog {
    Q_OBJECT
  public:
    // `dataSet`: the open table shown in the main window; `nameCaption` heads the name column
    // as the grid's first column is headed.
    DeletedRowsDialog(TEngineDataSet& dataSet, const QString& nameCaption,
                      QWidget* parent = nullptr);

    // Reads the deleted rows again and shows them.
    void reload();
    // Recalls the rows selected; returns how many became live.
    int recallSelected();
    const std::vector<DataSetRow>& rows() const { return m_rows; }
    // Records recalled since the dialog opened.
    int recalledCount() const { return m_recalled; }

  private:
    void updateButtons();

    TEngineDataSet& m_dataSet;
    std::vector<DataSetRow> m_rows;
    int m_recalled = 0;
    QLabel* m_error = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_recall = nullptr;
};

}  // namespace abonex
