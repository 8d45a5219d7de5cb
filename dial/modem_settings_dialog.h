// ModemSettingsDialog: the dialog "Настройка модема", where the user chooses how calls go out
// (a modem on a serial port, or the desktop's phone application) and sets the modem's port,
// speed, initialisation string and dial time-out, and gives the town's telephone code ("Код
// города"), by which callers' numbers are looked up. The button "Опросить модем" sends "ATI" to
// the chosen port and shows what the modem answers, without closing the dialog.
//
// The dialog only edits values; its owner stores them when it is accepted.
#pragma once

#include <QDialog>
#include <functional>

#include "dial/modem_settings.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace abonex {

class ModemSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // Asks the modem of `settings` for its identification and hands the answer to the second
    // argument, later, from the event loop.
    using ModemQuery =
        std::function<void(const ModemSettings& settings, std::function<void(const QString&)>)>;

    ModemSettingsDialog(const ModemSettings& settings, ModemQuery query, QWidget* parent = nullptr);
    ~ModemSettingsDialog() override;

    // The values as the dialog shows them (the stored device while ABONEX_MODEM stands for
    // it).
    ModemSettings settings() const;

    QRadioButton* rbModem = nullptr;
    QRadioButton* rbDesktop = nullptr;
    QComboBox* cbDevice = nullptr;
    QComboBox* cbSpeed = nullptr;
    QLineEdit* edInit = nullptr;
    QSpinBox* sbDialTimeout = nullptr;
    QLineEdit* edTownCode = nullptr;
    QPushButton* btnQuery = nullptr;
    QPlainTextEdit* memoAnswer = nullptr;
    QLabel* lblOverride = nullptr;
    QDialogButtonBox* buttons = nullptr;

  private:
    void lineChosen();
    void queryModem();

    ModemQuery m_query;
    QString m_storedDevice;
    QString m_override;  // ABONEX_MODEM
    QList<QWidget*> m_modemWidgets;
};

}  // namespace abonex
