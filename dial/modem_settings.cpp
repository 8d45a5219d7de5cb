#include "dial/modem_settings.h"

#include <QSettings>

namespace abonex {

namespace {

constexpr char kGroup[] = "Modem";
constexpr char kLineKey[] = "Line";
constexpr char kDeviceKey[] = "Device";
constexpr char kSpeedKey[] = "Speed";
constexpr char kInitKey[] = "Init";
constexpr char kDialTimeoutKey[] = "DialTimeout";
constexpr char kTownCodeKey[] = "TownCode";
constexpr char kModemLine[] = "modem";
constexpr char kDesktopLine[] = "desktop";
constexpr qint32 kMinSpeed = 300;
constexpr qint32 kMaxSpeed = 4000000;

}  // namespace

QString cleanInitString(const QString& text) {
    QString clean;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F) clean += c;
    }
    return clean.trimmed().left(ModemSettings::kMaxInitString);
}

QString cleanTownCode(const QString& text) {
    QString digits;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9') digits += c;
    }
    return digits.size() <= ModemSettings::kMaxTownCode ? digits : QString();
}

ModemSettings ModemSettings::load(QSettings& settings) {
    ModemSettings result;
    settings.beginGroup(QLatin1String(kGroup));
    if (settings.value(QLatin1String(kLineKey)).toString() == QLatin1String(kDesktopLine)) {
        result.line = PhoneLine::Desktop;
    }
    result.device = settings.value(QLatin1String(kDeviceKey)).toString().trimmed();
    bool ok = false;
    const int speed = settings.value(QLatin1String(kSpeedKey)).toInt(&ok);
    if (ok && speed >= kMinSpeed && speed <= kMaxSpeed) result.speed = speed;
    if (settings.contains(QLatin1String(kInitKey))) {
        result.initString = cleanInitString(settings.value(QLatin1String(kInitKey)).toString());
    }
    const int timeout = settings.value(QLatin1String(kDialTimeoutKey)).toInt(&ok);
    if (ok && timeout >= kMinDialTimeout && timeout <= kMaxDialTimeout) {
        result.dialTimeoutSeconds = timeout;
    }
    result.townCode = cleanTownCode(settings.value(QLatin1String(kTownCodeKey)).toString());
    settings.endGroup();
    return result;
}

void ModemSettings::save(QSettings& settings) const {
    settings.beginGroup(QLatin1String(kGroup));
    settings.setValue(QLatin1String(kLineKey),
                      QLatin1String(line == PhoneLine::Desktop ? kDesktopLine : kModemLine));
    settings.setValue(QLatin1String(kDeviceKey), device);
    settings.setValue(QLatin1String(kSpeedKey), speed);
    settings.setValue(QLatin1String(kInitKey), cleanInitString(initString));
    settings.setValue(QLatin1String(kDialTimeoutKey), dialTimeoutSeconds);
    settings.setValue(QLatin1String(kTownCodeKey), cleanTownCode(townCode));
    settings.endGroup();
    settings.sync();
}

QString ModemSettings::deviceOverride() {
    return qEnvironmentVariable("ABONEX_MODEM").trimmed();
}

ModemSettings ModemSettings::effective() const {
    ModemSettings result = *this;
    const QString overriding = deviceOverride();
    if (!overriding.isEmpty()) {
        result.line = PhoneLine::Modem;
        result.device = overriding;
    }
    return result;
}

}  // namespace abonex
