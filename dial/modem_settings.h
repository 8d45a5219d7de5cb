// ModemSettings: how the user's calls go out — through a modem on a serial port or through the
// desktop's phone application — and the modem's port settings.
//
// Stored in the per-user settings file, group "Modem":
//   Line         "modem" or "desktop"
//   Device       the modem's device path ("/dev/ttyACM0"); empty: no modem chosen
//   Speed        the port speed in bits per second
//   Init         the initialisation string sent when the line opens (default "ATZ")
//   DialTimeout  seconds a dial may wait for the modem's answer (default 60)
//   TownCode     the town's telephone code ("8172"), by which a caller's full number is known
//                as a local one; empty: none
// The environment variable ABONEX_MODEM, when set to a device path, stands for the stored
// device and the modem line, without changing what is stored.
#pragma once

#include <QString>
#include <QtGlobal>

class QSettings;

namespace abonex {

enum class PhoneLine { Modem, Desktop };

struct ModemSettings {
    static constexpr qint32 kDefaultSpeed = 115200;
    static constexpr int kDefaultDialTimeout = 60;
    static constexpr int kMinDialTimeout = 5;
    static constexpr int kMaxDialTimeout = 600;
    static constexpr qsizetype kMaxInitString = 60;
    static constexpr qsizetype kMaxTownCode = 5;

    PhoneLine line = PhoneLine::Modem;
    QString device;
    qint32 speed = kDefaultSpeed;
    QString initString = QStringLiteral("ATZ");
    int dialTimeoutSeconds = kDefaultDialTimeout;
    QString townCode;

    // What `settings` holds, every value checked: unknown or out-of-range values give the
    // defaults, the initialisation string keeps printable ASCII only.
    static ModemSettings load(QSettings& settings);
    void save(QSettings& settings) const;

    // ABONEX_MODEM, or empty when it is not set.
    static QString deviceOverride();
    // These settings with ABONEX_MODEM applied.
    ModemSettings effective() const;

    bool operator==(const ModemSettings&) const = default;
};

// The initialisation string as it may go to the modem: printable ASCII, at most
// kMaxInitString characters.
QString cleanInitString(const QString& text);
// The town's code as it is kept: its digits, none when more than kMaxTownCode.
QString cleanTownCode(const QString& text);

}  // namespace abonex
