#include "dial/configured_line.h"

#include <QSettings>
#include <utility>

#include "dial/hayes_modem_line.h"
#include "dial/modem_settings_dialog.h"

namespace abonex {

namespace {

HayesModemLine::Options modemOptions(const ModemSettings& settings) {
    HayesModemLine::Options options;
    options.device = settings.device;
    options.speed = settings.speed;
    options.initString = settings.initString.toLatin1();
    options.dialTimeoutMs = settings.dialTimeoutSeconds * 1000;
    return options;
}

}  // namespace

ConfiguredLine::ConfiguredLine(SettingsOpener openSettings, QObject* parent)
    : QObject(parent), m_openSettings(std::move(openSettings)) {}

ConfiguredLine::~ConfiguredLine() {
    delete m_provider.data();
}

ModemSettings ConfiguredLine::storedSettings() const {
    const std::unique_ptr<QSettings> settings = m_openSettings();
    return ModemSettings::load(*settings);
}

void ConfiguredLine::setUrlOpener(DesktopPhoneLine::UrlOpener openUrl) {
    m_openUrl = std::move(openUrl);
}

std::int32_t ConfiguredLine::lineInitialize(HLINEAPP& lineApp, LINECALLBACK callback,
                                            const char* appName, std::uint32_t& deviceCount) {
    if (m_provider) {
        return m_provider->lineInitialize(lineApp, std::move(callback), appName, deviceCount);
    }
    const ModemSettings settings = storedSettings().effective();
    LineProvider* provider = nullptr;
    if (settings.line == PhoneLine::Desktop) {
        auto* desktop = new DesktopPhoneLine(m_openUrl, this);
        connect(desktop, &DesktopPhoneLine::handOffFailed, this, &ConfiguredLine::handOffFailed);
        provider = desktop;
    } else {
        provider = new HayesModemLine(modemOptions(settings), this);
    }
    connect(provider, &LineProvider::incomingCall, this, &ConfiguredLine::incomingCall);
    connect(provider, &LineProvider::incomingCallEnded, this, &ConfiguredLine::incomingCallEnded);
    const std::int32_t result =
        provider->lineInitialize(lineApp, std::move(callback), appName, deviceCount);
    if (result < 0) {
        delete provider;
    } else {
        m_provider = provider;
    }
    return result;
}

std::int32_t ConfiguredLine::lineNegotiateAPIVersion(HLINEAPP lineApp, std::uint32_t deviceId,
                                                     std::uint32_t lowVersion,
                                                     std::uint32_t highVersion,
                                                     std::uint32_t& apiVersion,
                                                     LINEEXTENSIONID& extensionId) {
    if (!m_provider) return kLineErrorInvalidAppHandle;
    return m_provider->lineNegotiateAPIVersion(lineApp, deviceId, lowVersion, highVersion,
                                               apiVersion, extensionId);
}

std::int32_t ConfiguredLine::lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                                      std::uint32_t apiVersion, std::uint32_t extVersion,
                                      std::uint32_t callbackInstance, std::uint32_t privileges,
                                      std::uint32_t mediaModes, const LINECALLPARAMS* callParams) {
    if (!m_provider) return kLineErrorInvalidAppHandle;
    return m_provider->lineOpen(lineApp, deviceId, line, apiVersion, extVersion, callbackInstance,
                                privileges, mediaModes, callParams);
}

std::int32_t ConfiguredLine::lineMakeCall(HLINE line, HCALL* call, const char* destAddress,
                                          std::uint32_t countryCode,
                                          const LINECALLPARAMS* callParams) {
    if (!m_provider) return kLineErrorInvalidLineHandle;
    return m_provider->lineMakeCall(line, call, destAddress, countryCode, callParams);
}

std::int32_t ConfiguredLine::lineDrop(HCALL call, const char* userUserInfo, std::uint32_t size) {
    if (!m_provider) return kLineErrorInvalidCallHandle;
    return m_provider->lineDrop(call, userUserInfo, size);
}

std::int32_t ConfiguredLine::lineDeallocateCall(HCALL call) {
    if (!m_provider) return kLineErrorInvalidCallHandle;
    return m_provider->lineDeallocateCall(call);
}

std::int32_t ConfiguredLine::lineGetCallInfo(HCALL call, LINECALLINFO* callInfo) {
    if (!m_provider) return kLineErrorInvalidCallHandle;
    return m_provider->lineGetCallInfo(call, callInfo);
}

std::int32_t ConfiguredLine::lineClose(HLINE line) {
    if (!m_provider) return kLineErrorInvalidLineHandle;
    return m_provider->lineClose(line);
}

std::int32_t ConfiguredLine::lineShutdown(HLINEAPP lineApp) {
    if (!m_provider) return kLineErrorInvalidAppHandle;
    const std::int32_t result = m_provider->lineShutdown(lineApp);
    if (result >= 0) {
        // The provider may be the one delivering the message being handled.
        m_provider->deleteLater();
        m_provider = nullptr;
    }
    return result;
}

std::int32_t ConfiguredLine::lineConfigDialog(std::uint32_t deviceId, QWidget* owner, const char*) {
    if (deviceId != 0) return kLineErrorBadDeviceId;
    ModemSettingsDialog dialog(
        storedSettings(),
        [this](const ModemSettings& settings, std::function<void(const QString&)> answered) {
            queryModem(settings, std::move(answered));
        },
        owner);
    if (dialog.exec() != QDialog::Accepted) return kLineErrorCancelled;
    const std::unique_ptr<QSettings> settings = m_openSettings();
    dialog.settings().save(*settings);
    return 0;
}

void ConfiguredLine::queryModem(const ModemSettings& settings,
                                std::function<void(const QString&)> answered) {
    // The line's own port cannot be opened a second time; the line asks on it instead.
    auto* modem = qobject_cast<HayesModemLine*>(m_provider.data());
    if (modem != nullptr && modem->portOpen() && modem->options().device == settings.device) {
        modem->query("ATI", std::move(answered));
    } else {
        HayesModemLine::queryDevice(modemOptions(settings), "ATI", std::move(answered));
    }
}

}  // namespace abonex
