// CallNotifier: tells the user who is calling. For each call coming in it looks the caller's
// number up in the directory once the line has its caller ID, and shows the notice
// (call_notice.h) as a desktop notification, or, where the desktop has no notification service,
// as a message of the notification-area icon.
//
// The look-up reads the tables on a worker thread, so the window's events go on meanwhile; its
// answer counts only for the call it was asked for (a call that ended since shows nothing).
// One notice per call; a call without caller ID shows none.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "app/call_notice.h"
#include "dial/incoming_call.h"

namespace abonex {

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
    };

    // How long an icon shown only for a message stays.
    static constexpr int kTrayMessageMs = 10000;

    CallNotifier(Sources sources, QObject* parent = nullptr);
    ~CallNotifier() override;

    // A notifier for `window` that follows the calls of `line`: the window's folder and icon,
    // the town's code of the user's settings. Owned by the window.
    static CallNotifier* attach(TFMain& window, ConfiguredLine& line);

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

    Sources m_sources;
    quint64 m_call = 1;      // counts the calls; an answer for an earlier one is dropped
    bool m_noticed = false;  // the current call's notice was asked for
};

}  // namespace abonex

Q_DECLARE_METATYPE(abonex::CallNotice)
