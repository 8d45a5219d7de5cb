#include "app/call_notifier.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <ctime>
#include <exception>
#include <utility>

#include "app/call_log_writer.h"
#include "app/desktop_notifications.h"
#include "app/main_window.h"
#include "app/tray_icon.h"
#include "app/user_settings.h"
#include "dial/configured_line.h"
#include "dial/modem_settings.h"
#include "ui/local_path.h"

namespace abonex {

namespace {

struct LookupAnswer {
    std::vector<NumberMatch> found;
    QString error;  // the directory could not be read
};

LookupAnswer lookUp(const std::string& folder, const std::string& number,
                    const std::string& townCode) {
    LookupAnswer answer;
    try {
        NumberLookup lookup(number, townCode);
        lookup.scanFolder(folder);
        answer.found = lookup.matches();
    } catch (const std::exception& error) {
        answer.error = QString::fromLocal8Bit(error.what());
    }
    return answer;
}

}  // namespace

CallNotifier::CallNotifier(Sources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)) {}

CallNotifier::~CallNotifier() = default;

CallNotifier* CallNotifier::attach(TFMain& window, ConfiguredLine& line, CallLogWriter& log) {
    TFMain* owner = &window;
    QPointer<CallLogWriter> writer(&log);
    auto* notifier =
        new CallNotifier({[owner] { return owner->DatabaseFolder(); },
                          [] { return ModemSettings::load(*openUserSettings()).townCode; },
                          [owner] { return owner->trayIcon(); },
                          [writer](const CallLogEntry& entry) {
                              if (writer) writer->record(entry);
                          }},
                         owner);
    connect(&line, &ConfiguredLine::incomingCall, notifier, &CallNotifier::callComingIn);
    connect(&line, &ConfiguredLine::incomingCallEnded, notifier, &CallNotifier::callOver);
    return notifier;
}

void CallNotifier::callComingIn(const IncomingCall& call) {
    if (!m_ringing) {
        m_ringing = true;
        m_entry = callLogEntryAt(std::time(nullptr), CallDirection::Incoming);
    }
    m_entry.rings = std::max(m_entry.rings, call.rings);
    if (!call.identified || m_noticed) return;
    m_noticed = true;
    const CallerId id = call.callerId;
    const quint64 serial = m_call;
    const NumberLookup number(id.number.toStdString(), {});
    if (id.numberAbsence != CallerIdAbsence::None || !number.valid()) {
        show(callNotice(id, {}), serial);
        return;
    }
    m_entry.number = id.number.toStdString();
    m_lookingUp = true;
    auto* watcher = new QFutureWatcher<LookupAnswer>(this);
    connect(watcher, &QFutureWatcher<LookupAnswer>::finished, this, [this, watcher, id, serial] {
        watcher->deleteLater();
        const LookupAnswer answer = watcher->result();
        looked(serial, answer.found);
        show(answer.error.isEmpty() ? callNotice(id, answer.found)
                                    : callNoticeUnread(id, answer.error),
             serial);
    });
    const std::string folder = localPath(m_sources.folder ? m_sources.folder() : QString());
    const std::string townCode =
        m_sources.townCode ? m_sources.townCode().toStdString() : std::string();
    watcher->setFuture(QtConcurrent::run(lookUp, folder, id.number.toStdString(), townCode));
}

void CallNotifier::callOver(const IncomingCall& call) {
    if (m_ringing) {
        m_entry.rings = std::max(m_entry.rings, call.rings);
        if (m_lookingUp) {
            m_awaitingName[m_call] = m_entry;
        } else {
            logCall(m_entry);
        }
    }
    ++m_call;
    m_noticed = false;
    m_ringing = false;
    m_lookingUp = false;
}

void CallNotifier::looked(quint64 call, const std::vector<NumberMatch>& found) {
    // The names as the notice gives them: the longest matches, favourites first.
    std::string name;
    for (const NumberMatch& match : found) {
        if (!name.empty()) name += "; ";
        name += match.row.name;
    }
    if (call == m_call) {
        m_entry.name = name;
        m_lookingUp = false;
        return;
    }
    const auto waiting = m_awaitingName.find(call);
    if (waiting == m_awaitingName.end()) return;
    CallLogEntry entry = std::move(waiting->second);
    m_awaitingName.erase(waiting);
    entry.name = name;
    logCall(entry);
}

void CallNotifier::logCall(const CallLogEntry& entry) {
    if (m_sources.log) m_sources.log(entry);
}

void CallNotifier::show(const CallNotice& notice, quint64 call) {
    if (call != m_call) return;
    QPointer<CallNotifier> self(this);
    DesktopNotifications::current().notify(notice.summary, notice.body, [self, notice](bool shown) {
        if (!self) return;
        if (shown) {
            emit self->noticeShown(notice, true);
        } else {
            self->showByTray(notice);
        }
    });
}

void CallNotifier::showByTray(const CallNotice& notice) {
    TrayIcon* tray = m_sources.tray ? m_sources.tray() : nullptr;
    if (tray == nullptr || !tray->isAvailable()) return;
    if (!tray->isVisible()) {
        // Shown for the message alone: it goes again unless the window went into it meanwhile.
        tray->setVisible(true);
        QPointer<TrayIcon> icon(tray);
        QPointer<QWidget> window(qobject_cast<QWidget*>(parent()));
        QTimer::singleShot(kTrayMessageMs, this, [icon, window] {
            if (icon && window && window->isVisible()) icon->setVisible(false);
        });
    }
    tray->showMessage(notice.summary, notice.body);
    emit noticeShown(notice, false);
}

}  // namespace abonex
