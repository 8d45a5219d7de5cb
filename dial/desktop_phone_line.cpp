#include "dial/desktop_phone_line.h"

#include <QDesktopServices>
#include <QPointer>
#include <utility>

namespace abonex {

DesktopPhoneLine::DesktopPhoneLine(UrlOpener openUrl, QObject* parent)
    : LineProvider(parent), m_openUrl(std::move(openUrl)) {
    if (!m_openUrl) {
        m_openUrl = [](const QUrl& url, Outcome outcome) {
            if (outcome) outcome(QDesktopServices::openUrl(url));
        };
    }
}

DesktopPhoneLine::~DesktopPhoneLine() = default;

QUrl DesktopPhoneLine::telUrl(const QByteArray& address) {
    QString number;
    bool digits = false;
    for (char c : address) {
        if (c >= '0' && c <= '9') {
            number += QLatin1Char(c);
            digits = true;
        } else if (c == '*' || c == '#' || (c == '+' && number.isEmpty())) {
            number += QLatin1Char(c);
        }
    }
    if (!digits) return {};
    QUrl url;
    url.setScheme(QStringLiteral("tel"));
    url.setPath(number);
    return url;
}

std::uint32_t DesktopPhoneLine::openDevice() {
    return 1;
}

void DesktopPhoneLine::closeDevice() {}

bool DesktopPhoneLine::deviceAlive() const {
    return true;
}

bool DesktopPhoneLine::supportsKind(CallKind kind) const {
    return kind == CallKind::Voice;
}

std::int32_t DesktopPhoneLine::checkAddress(const QByteArray& address) const {
    return telUrl(address).isEmpty() ? kLineErrorInvalidAddress : 0;
}

std::int32_t DesktopPhoneLine::startCall(Call& call) {
    callDialing();
    const HCALL handle = call.handle;
    QPointer<DesktopPhoneLine> self(this);
    m_openUrl(telUrl(call.address), [self, handle](bool opened) {
        // The answer may come inside this call: what it says is told after it, in order.
        QMetaObject::invokeMethod(
            self.data(),
            [self, handle, opened] {
                Call* active = self->activeCall();
                if (active == nullptr || active->handle != handle) return;  // dropped meanwhile
                if (opened) {
                    self->callConnected();
                } else {
                    self->callEnded(LINEDISCONNECTMODE_UNAVAIL);
                    emit self->handOffFailed();
                }
            },
            Qt::QueuedConnection);
    });
    return 0;
}

void DesktopPhoneLine::dropCall(Call& call) {
    dropDone(call.handle);
}

void DesktopPhoneLine::abandonCall(Call&) {}

}  // namespace abonex
