// DesktopPhoneLine: a line provider for users without a modem. A call hands "tel:" and the
// number's digits to the desktop, which passes it on to the user's phone application (or a
// phone linked to the desktop); the call then goes on there.
//
// The desktop is always there, so there is always one line device. The dial prefix ("T" or
// "P"), separators and pauses are not part of a tel: address and are left out. The hand-off is
// asynchronous: the call is dialing until the desktop answers; a call the desktop took is
// connected as far as this program can tell, and one it refused (no program for tel: links)
// ends as unavailable and handOffFailed() is emitted. Dropping a call only ends it here, the
// phone application keeps its own call.
#pragma once

#include <QUrl>
#include <functional>

#include "dial/line_provider.h"

namespace abonex {

class DesktopPhoneLine : public LineProvider {
    Q_OBJECT
  public:
    // Called once, at once or later, with whether the desktop took the link.
    using Outcome = std::function<void(bool opened)>;
    // Asks the desktop to open a URL.
    using UrlOpener = std::function<void(const QUrl&, Outcome)>;

    // `openUrl` empty: QDesktopServices::openUrl.
    explicit DesktopPhoneLine(UrlOpener openUrl = {}, QObject* parent = nullptr);
    ~DesktopPhoneLine() override;

    // The tel: address for a dialable address ("T22-33-44" -> "tel:223344"): the digits, and
    // "+", "*" and "#"; empty when there is no digit.
    static QUrl telUrl(const QByteArray& address);

  signals:
    // The desktop had no program that took a call's tel: link; the call has ended.
    void handOffFailed();

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
