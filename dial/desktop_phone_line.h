// DesktopPhoneLine: a line provider for users without a modem. A call hands "tel:" and the
// number's digits to the desktop, which passes it on to the user's phone application (or a
// phone linked to the desktop); the call then goes on there.
//
// The desktop is always there, so there is always one line device. The dial prefix ("T" or
// "P"), separators and pauses are not part of a tel: address and are left out. A hand-off the
// desktop refuses fails the call at once (a negative lineMakeCall result). A call that was
// handed off is connected as far as this program can tell; dropping it only ends it here, the
// phone application keeps its own call.
#pragma once

#include <QUrl>
#include <functional>

#include "dial/line_provider.h"

namespace abonex {

class DesktopPhoneLine : public LineProvider {
    Q_OBJECT
  public:
    // Opens a URL on the desktop; true when the desktop took it.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // `openUrl` empty: QDesktopServices::openUrl.
    explicit DesktopPhoneLine(UrlOpener openUrl = {}, QObject* parent = nullptr);
    ~DesktopPhoneLine() override;

    // The tel: address for a dialable address ("T22-33-44" -> "tel:223344"): the digits, and
    // "+", "*" and "#"; empty when there is no digit.
    static QUrl telUrl(const QByteArray& address);

  protected:
    std::uint32_t openDevice() override;
    void closeDevice() override;
    bool deviceAlive() const override;
    bool supportsKind(CallKind kind) const override;
    std::int32_t checkAddress(const QByteArray& address) const override;
    std::int32_t startCall(Call& call) override;
    void dropCall(Call& call) override;
    void abandonCall(Call& call) override;

  private:
    UrlOpener m_openUrl;
};

}  // namespace abonex
