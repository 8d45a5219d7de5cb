// TFMain's dial commands: the dial button with its drop-down (the pulse/tone choice and the
// modem settings), the pop-up's dial item, and the dialer they drive.
#include <QAction>
#include <QActionGroup>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSettings>
#include <QTableView>
#include <QToolButton>
#include <ctime>
#include <memory>

#include "app/application.h"
#include "app/call_log_dialog.h"
#include "app/call_log_writer.h"
#include "app/call_notifier.h"
#include "app/desktop.h"
#include "app/main_window.h"
#include "app/user_settings.h"
#include "dial/configured_line.h"
#include "dial/desktop_phone_line.h"
#include "dial/tapi_dial.h"
#include "ui/message_box.h"
#include "ui/text_codec.h"

namespace abonex {

namespace {

const char* const kNoPhoneAppLines[] = {
    QT_TRANSLATE_NOOP("abonex::MessageBox",
                      "Не найдено приложение, отвечающее за звонки по ссылкам tel:."),
    QT_TRANSLATE_NOOP("abonex::MessageBox", "Установите одну из известных программ:"),
    "- GNOME Calls;",
    "- KDE Connect;",
    "- Linphone;",
    QT_TRANSLATE_NOOP("abonex::MessageBox", "- и т.п."),
};

}  // namespace

void TFMain::buildDialer() {
    auto line = std::make_unique<ConfiguredLine>(&openUserSettings);
    // The desktop phone is reached through the same desktop as the program's links.
    line->setUrlOpener([](const QUrl& url, DesktopPhoneLine::Outcome outcome) {
        Desktop::current().openUrl(url, std::move(outcome));
    });
    // The modem's message would send the user looking for a modem that was never asked for.
    connect(line.get(), &ConfiguredLine::handOffFailed, this, [this] {
        MessageBox::error(this, QStringLiteral("Error"), MessageBox::crLfLines(kNoPhoneAppLines));
    });
    m_callLog = new CallLogWriter([] { return callLogFolder(); }, this);
    m_callLog->setObjectName(QStringLiteral("callLogWriter"));
    connect(m_callLog, &CallLogWriter::failed, this, [this](const QString& message) {
        MessageBox::error(this, QStringLiteral("Error"), message);
    });
    CallNotifier::attach(*this, *line, *m_callLog);
    Dialer3 = new TTapiDial(this, *line);
    // The line goes with the dialer, after the dialer has closed it.
    line.release()->setParent(Dialer3);
    Dialer3->setObjectName(QStringLiteral("Dialer3"));
    Dialer3->setNoticeBox(&MessageBox::notice);
    // The window's stored values for its dialer, in this order: the media mode of the line the
    // program uses is that of interactive voice, and the status log is not shown.
    Dialer3->setTelephonNo(QStringLiteral("9865"));
    Dialer3->setCallDialog(CallDialogKind::Win95);
    Dialer3->setStatusWindow(false);
    connect(Dialer3, &TTapiDial::callInProgressChanged, this, &TFMain::showCallInProgress);
}

void TFMain::buildRingMenu() {
    auto* menu = new QMenu(btnRing);
    menu->setObjectName(QStringLiteral("RingMenu"));
    QMenu* dialing = menu->addMenu(tr("Набор номера"));
    dialing->setObjectName(QStringLiteral("mnuDialing"));
    m_dialingItems = new QActionGroup(this);
    m_dialingItems->setExclusive(true);
    mnuPulse = dialing->addAction(tr("Импульсный"));
    mnuPulse->setObjectName(QStringLiteral("mnuPulse"));
    mnuTone = dialing->addAction(tr("Тоновый"));
    mnuTone->setObjectName(QStringLiteral("mnuTone"));
    for (QAction* item : {mnuPulse, mnuTone}) {
        item->setCheckable(true);
        m_dialingItems->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { mnuPulseClick(item); });
    }
    mnuPulse->setChecked(true);
    mnuConfig = menu->addAction(tr("Настройка модема"));
    mnuConfig->setObjectName(QStringLiteral("mnuConfig"));
    connect(mnuConfig, &QAction::triggered, this, &TFMain::mnuConfigClick);
    menu->addSeparator();
    mnuHangUp = menu->addAction(tr("Положить трубку"));
    mnuHangUp->setObjectName(QStringLiteral("mnuHangUp"));
    mnuHangUp->setEnabled(false);
    connect(mnuHangUp, &QAction::triggered, this, &TFMain::mnuHangUpClick);

    // Checked while a call is in progress (showCallInProgress), not by a click.
    btnRing->setCheckable(true);
    btnRing->setMenu(menu);
    btnRing->setPopupMode(QToolButton::MenuButtonPopup);
    connect(btnRing, &QToolButton::clicked, this, &TFMain::btnRingClick);
}

void TFMain::btnRingClick() {
    // A click toggles the button's check; it shows the call, not the click.
    showCallInProgress(Dialer3->callInProgress());
    auto run = [&] {
        TEngineDataSet& dataSet = gridDataSet();
        if (!dataSet.Active() || dataSet.IsEmpty() || dataSet.Fields(kFieldPhone1).IsNull()) {
            MessageBox::warning(this, QStringLiteral("Warning"),
                                tr("Нет номера телефона для текущей записи"));
            return;
        }
        const QString number = fromAnsi(dataSet.Fields(currentPhoneField()).AsString());
        if (number.isEmpty()) return;
        dialNumber(number, fromAnsi(dataSet.Fields(kFieldName).AsString()));
    };
    try {
        run();
    } catch (const std::exception& error) {
        Application::showException(error);
    }
}

void TFMain::dialNumber(const QString& number, const QString& name) {
    // The letter that makes the modem dial by tones or by pulses.
    const QString prefix = mnuTone->isChecked() ? QStringLiteral("T") : QStringLiteral("P");
    CallLogEntry call = callLogEntryAt(std::time(nullptr), CallDirection::Outgoing);
    call.number = number.toStdString();
    call.name = name.toStdString();
    call.line = ModemSettings::load(*openUserSettings()).line == PhoneLine::Desktop
                    ? CallLine::Desktop
                    : CallLine::Modem;
    m_callLog->record(call);
    Dialer3->HangUp();
    Dialer3->setTelephonNo(prefix + number);
    Dialer3->Dial();
    Dialer3->HangUp();
}

void TFMain::mnuCallLogClick() {
    std::string folder;
    try {
        folder = callLogFolder();
    } catch (const std::exception& error) {
        Application::showException(error);
        return;
    }
    CallLogDialog dialog(
        folder,
        [this](const QString& number, const QString& name) {
            try {
                dialNumber(number, name);
            } catch (const std::exception& error) {
                Application::showException(error);
            }
        },
        this);
    dialog.exec();
}

int TFMain::currentPhoneField() {
    // The number under the focused column of the selected row when that is a phone with a
    // value; the first phone otherwise. (The name column holds no number: its text would go to
    // the modem as the address.)
    if (!GxDBGrid1->selectionModel()->selectedRows().isEmpty()) {
        const int column = GxDBGrid1->currentIndex().column();
        if ((column == kFieldPhone1 || column == kFieldPhone2) &&
            !gridDataSet().Fields(column).IsNull()) {
            return column;
        }
    }
    return kFieldPhone1;
}

void TFMain::mnuPulseClick(QAction* sender) {
    if (!sender->isChecked()) sender->setChecked(true);
}

void TFMain::pressCheckedDialingItem() {
    mnuPulseClick(mnuTone->isChecked() ? mnuTone : mnuPulse);
}

void TFMain::mnuConfigClick() {
    Dialer3->ConfigureModem();
}

void TFMain::mnuHangUpClick() {
    Dialer3->HangUp();
}

void TFMain::showCallInProgress(bool inProgress) {
    // A number handed to the desktop's phone application is that application's call from then
    // on: there is no call of ours for the button to show, nor to hang up.
    const auto* line = Dialer3->findChild<ConfiguredLine*>();
    if (line != nullptr && qobject_cast<DesktopPhoneLine*>(line->provider()) != nullptr) {
        inProgress = false;
    }
    btnRing->setChecked(inProgress);
    mnuHangUp->setEnabled(inProgress);
    const QString hint = tr("Набрать текущий номер (Положить трубку)");
    // The number without the letter of the dialing method.
    const QString number = Dialer3->TelephonNo().mid(1);
    const QString shown =
        inProgress ? tr("Идёт вызов: ") + number + QStringLiteral(". ") + hint : hint;
    btnRing->setToolTip(shown);
    btnRing->setStatusTip(shown);
}

}  // namespace abonex
