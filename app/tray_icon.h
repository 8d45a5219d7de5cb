// TrayIcon: the program's icon in the desktop's notification area, behind a small interface of
// our own so that tests can stand in for the desktop.
//
// The real one (SystemTrayIcon) is QSystemTrayIcon. A desktop without a notification area is
// a real case: isAvailable() is then false, and the window must not hide itself into an icon
// that nobody can see. A double click on the icon emits doubleClicked(); the pop-up menu set
// with setContextMenu() opens on the icon's context click.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace abonex {

class TrayIcon : public QObject {
    Q_OBJECT
  public:
    using Factory = std::function<std::unique_ptr<TrayIcon>()>;

    // The program's tray icon: the one the factory makes, the system's by default.
    static std::unique_ptr<TrayIcon> create();
    // Tests: the icons that create() makes from now on; an empty factory restores the system's.
    static void setFactory(Factory factory);

    // True when the desktop shows a notification area now.
    virtual bool isAvailable() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    // The hint shown over the icon.
    virtual void setToolTip(const QString& text) = 0;
    virtual QString toolTip() const = 0;
    // The menu is not owned by the icon.
    virtual void setContextMenu(QMenu* menu) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual bool isVisible() const = 0;
    // A message in a balloon beside the icon (where the desktop has no notification service);
    // the icon must be visible for it. An icon that cannot show one shows nothing.
    virtual void showMessage(const QString& title, const QString& text);

  signals:
    void doubleClicked();
};

class SystemTrayIcon : public TrayIcon {
    Q_OBJECT
  public:
    SystemTrayIcon();
    ~SystemTrayIcon() override;

    bool isAvailable() const override;
    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    QString toolTip() const override;
    void setContextMenu(QMenu* menu) override;
    void setVisible(bool visible) override;
    bool isVisible() const override;
    void showMessage(const QString& title, const QString& text) override;

  private:
    QSystemTrayIcon* m_icon;
};

}  // namespace abonex
