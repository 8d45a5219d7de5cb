// CallNotifier: tells the user who is calling. For each call coming in it looks the caller's
// number up in the directory once the line has its caller ID, and shows the notice
// (call_notice.h) as a desktop notification, or, where the desktop has no notification service,
// as a message of the notification-area icon.
//
// The look-up reads the tables on a worker thread, so the window's events go on meanwhile; its
// answer counts only for the call it was asked for (a call that ended since shows nothing).
// One notice per call; a call without caller ID shows none.
//
// Every call coming in is logged when it is over (its time of first ring or caller ID, the
// number, the name found, how often it rang), a call whose look-up is still running then once
// its answer is in.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

#include "app/call_notice.h"
#include "dial/incoming_call.h"
#include "directory/call_log.h"

namespace abonex {

class CallLogWriter;
class ConfiguredLine;
class TFMain;
class TrayIcon;

class CallNotifier : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        std::function<QString()> folder;    // the directory's folder, ending in "/"
        std::function<QString()> townCode;  // the town's code as the settings hold it now
        std::function<TrayIcon*()> tray;    // the icon for the fallback; may give null
        std::function<void(const CallLogEntry&)> log{};  // takes each call over; may be empty
    };

    // How long an icon shown only for a message stays.
    static constexpr int kTrayMessageMs = 10000;

    CallNotifier(Sources sources, QObject* parent = nullptr);
    ~CallNotifier() override;

    // A notifier for `window` that follows the calls of `line`: the window's folder and icon,
    // the town's code of the user's settings; the calls go to `log`. Owned by the window.
    static CallNotifier* attach(TFMain& window, ConfiguredLine& line, CallLogWriter& log);

    // What a line tells of its calls coming in (connect its signals here).
    void callComingIn(const abonex::IncomingCall& call);
    void callOver(const abonex::IncomingCall& call);

  signals:
    // A notice went out: as a notification of the desktop's service (`byService`) or as the
    // icon's message.
    void noticeShown(const abonex::CallNotice& notice, bool byService);

  private:
    void show(const CallNotice& notice, quint64 call);
    void showByTray(const CallNotice& notice);
    void looked(quint64 call, const std::vector<NumberMatch>& found);
    void logCall(const CallLogEntry& entry);

    Sources m_sources;
    quint64 m_call = 1;        // counts the calls; an answer for an earlier one is dropped
    bool m_noticed = false;    // the current call's notice was asked for
    bool m_ringing = false;    // the current call has been heard of
    bool m_lookingUp = false;  // the current call's look-up has not answered yet
    CallLogEntry m_entry;      // the current call, as it is to be logged
    std::map<quint64, CallLogEntry> m_awaitingName;  // calls over before their look-up answered
};

}  // namespace abonex

Q_DECLARE_METATYPE(abonex::CallNotice)
