// ConfiguredLine: the telephony line of the program — the line provider the user chose in
// "Настройка модема" (a Hayes modem on a serial port or the desktop's phone application).
//
// Each lineInitialize reads the modem settings and creates that provider, which then serves
// every operation until lineShutdown ends it; lineConfigDialog shows the settings dialog and
// stores what the user accepts, for the next lineInitialize. Between lineShutdown and the next
// lineInitialize there is no provider and every operation fails.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "dial/desktop_phone_line.h"
#include "dial/incoming_call.h"
#include "dial/modem_settings.h"
#include "dial/telephony_line.h"

class QSettings;

namespace abonex {

class LineProvider;

class ConfiguredLine : public QObject, public TelephonyLine {
    Q_OBJECT
  public:
    // Opens the settings file the modem settings live in (the program's per-user file).
    using SettingsOpener = std::function<std::unique_ptr<QSettings>()>;

    explicit ConfiguredLine(SettingsOpener openSettings, QObject* parent = nullptr);
    ~ConfiguredLine() override;

    std::int32_t lineInitialize(HLINEAPP& lineApp, LINECALLBACK callback, const char* appName,
                                std::uint32_t& deviceCount) override;
    std::int32_t lineNegotiateAPIVersion(HLINEAPP lineApp, std::uint32_t deviceId,
                                         std::uint32_t lowVersion, std::uint32_t highVersion,
                                         std::uint32_t& apiVersion,
                                         LINEEXTENSIONID& extensionId) override;
    std::int32_t lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                          std::uint32_t apiVersion, std::uint32_t extVersion,
                          std::uint32_t callbackInstance, std::uint32_t privileges,
                          std::uint32_t mediaModes, const LINECALLPARAMS* callParams) override;
    std::int32_t lineMakeCall(HLINE line, HCALL* call, const char* destAddress,
                              std::uint32_t countryCode, const LINECALLPARAMS* callParams) override;
    std::int32_t lineDrop(HCALL call, const char* userUserInfo, std::uint32_t size) override;
    std::int32_t lineDeallocateCall(HCALL call) override;
    std::int32_t lineGetCallInfo(HCALL call, LINECALLINFO* callInfo) override;
    // Shows "Настройка модема" over `owner` (device 0 only). 0 when the user pressed OK and
    // the settings were stored, kLineErrorCancelled otherwise.
    std::int32_t lineConfigDialog(std::uint32_t deviceId, QWidget* owner,
                                  const char* deviceClass) override;
    std::int32_t lineClose(HLINE line) override;
    std::int32_t lineShutdown(HLINEAPP lineApp) override;

    // The settings as stored (ABONEX_MODEM not applied).
    ModemSettings storedSettings() const;
    // How the desktop line opens tel: addresses (tests give a recorder); empty: the desktop.
    void setUrlOpener(DesktopPhoneLine::UrlOpener openUrl);
    // The provider serving the line now, or null.
    LineProvider* provider() const { return m_provider; }

  signals:
    // The desktop phone found no program that takes tel: links (see DesktopPhoneLine).
    void handOffFailed();
    // The provider's calls coming in (see LineProvider).
    void incomingCall(const abonex::IncomingCall& call);
    void incomingCallEnded(const abonex::IncomingCall& call);

  private:
    void queryModem(const ModemSettings& settings, std::function<void(const QString&)> answered);

    SettingsOpener m_openSettings;
    DesktopPhoneLine::UrlOpener m_openUrl;
    QPointer<LineProvider> m_provider;
};

}  // namespace abonex
