// SettingsStore: keeps a window's placement and the check marks of some of its menu items in
// the program's per-user settings file (openUserSettings()), group "FormProperties".
//
// Values, each named after what it keeps:
//   Flags, ShowCmd        integers of the window's state when written: Flags 2 when the window
//                         goes back to maximised after a minimise, else 0; ShowCmd 1 normal,
//                         2 minimised, 3 maximised
//   PixelsPerInch         the screen's logical resolution when written
//   MinMaxPos             "%d,%d,%d,%d": the minimised and the maximised positions; this desktop
//                         places both itself, so both are -1,-1 ("no position of its own")
//   NormPos               "%d,%d,%d,%d": left, top, right, bottom of the normal (neither
//                         minimised nor maximised) rectangle, right and bottom exclusive
//   MinMaxPos(WxH), NormPos(WxH)   the same for the screen size W x H; read before the plain
//                         ones, so each screen size keeps a placement of its own
//   FormVersion           0, the layout of these values
//   <action>_Checked      "True" or "False" for every stored action found in the window
//
// Reading restores only the position and size (never the minimised or maximised state) and the
// check marks. Whatever is missing or damaged (a text that is neither "True" nor "False", a
// rectangle that is not four numbers, one that lies off every screen) keeps the window's value,
// so a first start shows the design values and a window never comes back off-screen. Names of
// actions the window does not have are passed over. Every reading ends with restored().
#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

class QSettings;
class QWidget;

namespace abonex {

class SettingsStore : public QObject {
    Q_OBJECT
  public:
    // Keeps the placement of `window` and the check marks of its actions named in
    // `checkedActions` (object names).
    SettingsStore(QWidget* window, QStringList checkedActions, QObject* parent = nullptr);

    // Reads the placement and the check marks into the window, then emits restored().
    void restore();
    // Writes the placement and the check marks.
    void save();

    // True once save() ran after the last restore() (or ever, before the first one).
    bool saved() const { return m_saved; }
    // True once restore() ran.
    bool restoredOnce() const { return m_restoredOnce; }

    // "NormPos" and the like followed by "(WxH)" for the primary screen's size.
    static QString withScreenSize(const QString& name);
    // A rectangle written as "left,top,right,bottom"; nullopt unless it is four integers
    // giving a positive width and height.
    static std::optional<QRect> parseRect(const QString& text);
    static QString rectText(const QRect& rect);
    // True when enough of `rect` lies on one screen for its title to be reached.
    static bool onSomeScreen(const QRect& rect);
    // `rect` (a window's inside, with `frame` around it) made to fit the screen that shows most
    // of it: no larger than its free area, and moved wholly onto it.
    static QRect withinItsScreen(const QRect& rect, const QMargins& frame = {});

  signals:
    void restored();

  private:
    // The stored text of `name`, a list of parts written without quotes joined again.
    static QString text(const QSettings& settings, const QString& name);
    void restorePlacement(const QSettings& settings);
    void savePlacement(QSettings& settings) const;

    QWidget* m_window;
    QStringList m_checkedActions;
    bool m_saved = false;
    bool m_restoredOnce = false;
};

}  // namespace abonex
