#include "app/desktop.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace abonex {

namespace {

// Runs the desktop's launcher and reports how it ended.
class SystemDesktop : public Desktop {
  public:
    void openUrl(const QUrl& url, Outcome outcome) override {
        const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (launcher.isEmpty()) {
            const bool opened = QDesktopServices::openUrl(url);
            report(std::move(outcome), opened);
            return;
        }
        auto* process = new QProcess;
        auto answered = std::make_shared<bool>(false);
        auto answer = [process, answered, outcome = std::move(outcome)](bool opened) {
            if (*answered) return;
            *answered = true;
            if (outcome) outcome(opened);
        };
        QObject::connect(process, &QProcess::finished, process,
                         [process, answer](int exitCode, QProcess::ExitStatus status) {
                             answer(status == QProcess::NormalExit && exitCode == 0);
                             process->deleteLater();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process, answer](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart) return;
                             answer(false);
                             process->deleteLater();
                         });
        // A launcher that waits for the program it started has handed the link on; it is
        // left to end by itself.
        QTimer::singleShot(kSettleMilliseconds, process, [answer] { answer(true); });
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(launcher, {url.toString(QUrl::FullyEncoded)});
    }

  private:
    static void report(Outcome outcome, bool opened) {
        if (!outcome) return;
        QTimer::singleShot(0, [outcome = std::move(outcome), opened] { outcome(opened); });
    }
};

Desktop*& installed() {
    static Desktop* desktop = nullptr;
    return desktop;
}

}  // namespace

Desktop& Desktop::current() {
    static SystemDesktop system;
    return installed() != nullptr ? *installed() : system;
}

void Desktop::install(Desktop* desktop) {
    installed() = desktop;
}

}  // namespace abonex
