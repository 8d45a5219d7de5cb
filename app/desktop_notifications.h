// DesktopNotifications: the desktop's notification service (org.freedesktop.Notifications on
// the session bus), behind a small interface of our own so that tests can stand in for it.
//
// Showing is asynchronous: the service answers the request through the event loop, and only
// then is it known whether a notification was shown. Where no service runs (or none can be
// started on the bus), the answer is "not shown" and the caller shows the text another way.
#pragma once

#include <QString>
#include <functional>

namespace abonex {

class DesktopNotifications {
  public:
    // Called once, from the event loop, with whether the service took the notification.
    using Shown = std::function<void(bool shown)>;

    virtual ~DesktopNotifications() = default;
    // Asks for a notification of the program with `summary` and `body` (plain text).
    virtual void notify(const QString& summary, const QString& body, Shown shown) = 0;

    // The service notifications go to: the session bus's unless another was installed.
    static DesktopNotifications& current();
    // Tests: `notifications` answers from now on (nullptr: the session bus's again). Not owned.
    static void install(DesktopNotifications* notifications);
};

// The notification service on a bus, through Qt's D-Bus: the connection of that name (the
// session bus's by default), looked up at each notification, so that none is kept past the
// application's end.
class BusNotifications : public DesktopNotifications {
  public:
    explicit BusNotifications(QString connectionName = sessionConnectionName());
    void notify(const QString& summary, const QString& body, Shown shown) override;

    static QString sessionConnectionName();

  private:
    QString m_connectionName;
};

}  // namespace abonex
