// TTapiDial: the dialer component. A form owns exactly one; it registers with the telephony
// line when it is created and keeps a line open for its whole life, places calls to
// TelephonNo and drops them, follows the calls through the line's messages, and keeps a status
// log (the last text in LastStatus, the lines in an optional status window).
//
// Calls are asynchronous: Dial asks the line for a call and returns; the new call's handle
// arrives with the request's LINE_REPLY through the event loop, after the command that dialed
// has returned. HangUp therefore drops the call whose handle the component holds at that
// moment: a dial command's own HangUp calls drop the previous call, not the one just placed.
//
// State kept for the program as a whole, not per component (the program has one): the
// negotiated interface version, LastStatus, the copy of the last number assigned, the status
// window with its list, and the call-information buffer.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <functional>
#include <set>

#include "dial/tapi.h"

class QListWidget;
class QWidget;

namespace abonex {

class TelephonyLine;

// What a call is for: None places data-modem calls and shows a box of its own while the call
// is up; Win95 places interactive voice calls and shows nothing during a call.
enum class CallDialogKind { None = 0, Win95 = 1 };

class TTapiDial : public QObject {
    Q_OBJECT
  public:
    // Shows a modal box with `caption`, `text`, no icon and one OK button over `parent`, and
    // returns the button it was closed with.
    using NoticeBox = std::function<QMessageBox::StandardButton(
        QWidget* parent, const QString& caption, const QString& text)>;

    // The longest dialable address: Dial refuses a longer TelephonNo.
    static constexpr int kDialableAddressLength = 30;

    // `owner` must be a form (a window widget) that holds no other TTapiDial; otherwise
    // std::invalid_argument is thrown with "Please drop the component onto a Form!" or
    // "There is TTApiDial component already on this form". Starts the line at once
    // (StartTapi); `line` must outlive the component.
    TTapiDial(QObject* owner, TelephonyLine& line);
    ~TTapiDial() override;

    const QString& TelephonNo() const { return m_telephonNo; }
    void setTelephonNo(const QString& number);
    CallDialogKind CallDialog() const { return m_callDialog; }
    // A new value restarts the line with the media mode it stands for; the current value
    // changes nothing.
    void setCallDialog(CallDialogKind value);
    bool StatusWindow() const { return m_statusWindow; }
    // True creates and shows the status window, false destroys it (log lines are then lost).
    void setStatusWindow(bool value);

    // Places a call to TelephonNo; a failure shows "Проверьте наличие и правильность
    // подключения модема!".
    void Dial();
    // Drops the call whose handle the component holds (there may be none).
    void HangUp();
    // True from the moment a call of this component dials until the line reports it ended
    // (disconnected or idle).
    bool callInProgress() const { return !m_callsUp.empty(); }
    // The line's settings dialog; when the user accepts new settings the line is restarted.
    void ConfigureModem();
    void StartTapi();
    void StopTapi();

    static QString LastStatus();
    // The status window and its list, or null while StatusWindow is false.
    static QWidget* statusWindow();
    static QListWidget* statusList();

    // How boxes are shown (the default is a plain QMessageBox).
    void setNoticeBox(NoticeBox box);

  signals:
    // Each text as it becomes LastStatus.
    void statusChanged(const QString& text);
    // callInProgress() changed.
    void callInProgressChanged(bool inProgress);

  private:
    void LineCallback(std::uint32_t device, std::uint32_t message, std::uint32_t instance,
                      std::uint32_t param1, std::uint32_t param2, std::uint32_t param3);
    void setLastStatus(const QString& text);
    static void AddStatus(const QString& text);
    void rebuildCallParams();
    QString connectedText(HCALL call);

    TelephonyLine& m_line;
    QWidget* m_ownerWindow = nullptr;
    QString m_telephonNo;
    CallDialogKind m_callDialog = CallDialogKind::None;
    bool m_statusWindow = false;
    HLINEAPP m_lineApp = 0;
    HLINE m_lineHandle = 0;
    HCALL m_call = 0;
    LINECALLPARAMS m_callParams{};
    NoticeBox m_noticeBox;
    // The calls the line reports as dialing, proceeding, busy or connected.
    std::set<HCALL> m_callsUp;
    void followCall(HCALL call, bool up);
};

}  // namespace abonex
