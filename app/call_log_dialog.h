// CallLogDialog: "Журнал звонков", the user's call log (directory/call_log.h) as a list, the
// newest call first, with "Перезвонить" (dial the selected call's number back) and "Очистить"
// (after a question, every call of the log goes).
//
// The list shows the log as it was read when the dialog opened or last changed; a log that
// cannot be read shows its error above an empty list, and "Очистить" is then refused too. The
// dialog dials nothing itself: it hands the number and name to the caller's `dial`.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "directory/call_log.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace abonex {

class CallLogDialog : public QDialog {
    Q_OBJECT
  public:
    // Dials `number` for the call back; `name` is the one the log gave for it.
    using Dial = std::function<void(const QString& number, const QString& name)>;

    CallLogDialog(std::string folder, Dial dial, QWidget* parent = nullptr);

    // Reads the log again and shows it.
    void reload();
    // The calls shown, the newest first.
    const std::vector<CallLogEntry>& calls() const { return m_calls; }

    // The texts a row shows for `call`, by column.
    static QStringList rowTexts(const CallLogEntry& call);

  private:
    void callBack();
    void clear();
    void updateButtons();

    std::string m_folder;
    Dial m_dial;
    std::vector<CallLogEntry> m_calls;
    QLabel* m_error = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_callBack = nullptr;
    QPushButton* m_clear = nullptr;
};

}  // namespace abonex
