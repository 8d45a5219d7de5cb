#include "app/settings_store.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "app/user_settings.h"

namespace abonex {

namespace {

const QString kGroup = QStringLiteral("FormProperties");
const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");
constexpr int kFormVersion = 0;

// Window state numbers as the file keeps them.
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kFlagRestoreToMaximized = 2;
// No position of its own: the desktop chooses where minimised and maximised windows go.
const QString kNoMinMaxPosition = QStringLiteral("-1,-1,-1,-1");

// How much of a restored rectangle must lie on one screen, and how far below the screen's top
// its top edge may lie at most, so that the window can still be seen and dragged by its title.
constexpr int kMinimumVisible = 64;

}  // namespace

SettingsStore::SettingsStore(QWidget* window, QStringList checkedActions, QObject* parent)
    : QObject(parent), m_window(window), m_checkedActions(std::move(checkedActions)) {
    setObjectName(QStringLiteral("FormStorage1"));
}

QString SettingsStore::withScreenSize(const QString& name) {
    QSize size;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) size = screen->size();
    return QStringLiteral("%1(%2x%3)").arg(name).arg(size.width()).arg(size.height());
}

std::optional<QRect> SettingsStore::parseRect(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return std::nullopt;
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return std::nullopt;
    }
    // Right and bottom are exclusive; the subtraction is done in 64 bits so that extreme
    // numbers cannot wrap into a plausible size.
    const qint64 width = qint64(numbers[2]) - numbers[0];
    const qint64 height = qint64(numbers[3]) - numbers[1];
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) return std::nullopt;
    return QRect(numbers[0], numbers[1], int(width), int(height));
}

QString SettingsStore::rectText(const QRect& rect) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(rect.left())
        .arg(rect.top())
        .arg(rect.left() + rect.width())
        .arg(rect.top() + rect.height());
}

bool SettingsStore::onSomeScreen(const QRect& rect) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect shown = area.intersected(rect);
        if (shown.width() >= std::min(kMinimumVisible, rect.width()) &&
            shown.height() >= std::min(kMinimumVisible, rect.height()) &&
            rect.top() >= area.top() && rect.top() <= area.bottom() - kMinimumVisible) {
            return true;
        }
    }
    return false;
}

QString SettingsStore::text(const QSettings& settings, const QString& name) {
    const QVariant value = settings.value(name);
    // A hand-edited file may hold "1,2,3,4" without quotes, which reads as a list.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
    return value.toString();
}

void SettingsStore::restore() {
    const std::unique_ptr<QSettings> settings = openUserSettings();
    settings->beginGroup(kGroup);
    restorePlacement(*settings);
    for (const QString& name : std::as_const(m_checkedActions)) {
        QAction* action = m_window->findChild<QAction*>(name);
        if (action == nullptr) continue;
        const QString stored = text(*settings, name + QStringLiteral("_Checked"));
        if (stored == kTrue) {
            action->setChecked(true);
        } else if (stored == kFalse) {
            action->setChecked(false);
        }
    }
    settings->endGroup();
    m_saved = false;
    m_restoredOnce = true;
    emit restored();
}

void SettingsStore::restorePlacement(const QSettings& settings) {
    QString stored = text(settings, withScreenSize(QStringLiteral("NormPos")));
    if (stored.isEmpty()) stored = text(settings, QStringLiteral("NormPos"));
    const std::optional<QRect> rect = parseRect(stored);
    if (!rect || !onSomeScreen(*rect)) return;
    // A maximised window keeps its state; its normal rectangle comes back with the next
    // normal showing.
    if (m_window->isMaximized() || m_window->isFullScreen()) return;
    // The frame around it, once the window system has told (from the second showing on).
    QMargins frame;
    if (const QWindow* handle = m_window->windowHandle()) frame = handle->frameMargins();
    m_window->setGeometry(withinItsScreen(*rect, frame));
}

QRect SettingsStore::withinItsScreen(const QRect& rect, const QMargins& frame) {
    // The screen that shows most of it: a rectangle stored at another scale, or on a larger
    // screen, comes back no larger than that screen and wholly on it.
    const QScreen* landing = nullptr;
    qint64 shown = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect part = screen->availableGeometry().intersected(rect);
        const qint64 area = part.isEmpty() ? 0 : qint64(part.width()) * part.height();
        if (area > shown) {
            shown = area;
            landing = screen;
        }
    }
    if (landing == nullptr) return rect;
    const QRect area = landing->availableGeometry().marginsRemoved(frame);
    QRect placed(rect.topLeft(), rect.size().boundedTo(area.size()));
    placed.moveLeft(
        std::clamp(placed.left(), area.left(), area.left() + area.width() - placed.width()));
    placed.moveTop(
        std::clamp(placed.top(), area.top(), area.top() + area.height() - placed.height()));
    return placed;
}

void SettingsStore::save() {
    const std::unique_ptr<QSettings> settings = openUserSettings();
    settings->beginGroup(kGroup);
    savePlacement(*settings);
    settings->setValue(QStringLiteral("FormVersion"), kFormVersion);
    for (const QString& name : std::as_const(m_checkedActions)) {
        const QAction* action = m_window->findChild<QAction*>(name);
        if (action == nullptr) continue;
        settings->setValue(name + QStringLiteral("_Checked"), action->isChecked() ? kTrue : kFalse);
    }
    settings->endGroup();
    settings->sync();
    m_saved = true;
}

void SettingsStore::savePlacement(QSettings& settings) const {
    const Qt::WindowStates state = m_window->windowState();
    const int showCmd = state.testFlag(Qt::WindowMinimized)   ? kShowMinimized
                        : state.testFlag(Qt::WindowMaximized) ? kShowMaximized
                                                              : kShowNormal;
    const bool backToMaximized =
        state.testFlag(Qt::WindowMinimized) && state.testFlag(Qt::WindowMaximized);
    settings.setValue(QStringLiteral("Flags"), backToMaximized ? kFlagRestoreToMaximized : 0);
    settings.setValue(QStringLiteral("ShowCmd"), showCmd);
    const QScreen* screen = m_window->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        settings.setValue(QStringLiteral("PixelsPerInch"),
                          int(std::lround(screen->logicalDotsPerInch())));
    }
    // A maximised window that was never normal has no normal rectangle of its own yet.
    const QRect normalRect = m_window->normalGeometry();
    const QString normal = rectText(normalRect.isValid() ? normalRect : m_window->geometry());
    for (const QString& name : {QStringLiteral("MinMaxPos"), QStringLiteral("NormPos")}) {
        const QString& value = name == QStringLiteral("NormPos") ? normal : kNoMinMaxPosition;
        settings.setValue(name, value);
        settings.setValue(withScreenSize(name), value);
    }
}

}  // namespace abonex
