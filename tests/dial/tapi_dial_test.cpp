// The dialer component against a line that records every operation with its arguments (the
// values passed are the component's contract), and the program's configured line with its
// settings dialog "Настройка модема".
#include "dial/tapi_dial.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <cstring>
#include <functional>
#include <memory>

#include "dial/configured_line.h"
#include "dial/desktop_phone_line.h"
#include "dial/hayes_modem_line.h"
#include "dial/modem_settings_dialog.h"
#include "tests/support/when_dialog_shown.h"
#include "tools/fake_modem/fake_modem.h"

using namespace abonex;
using abonex::test::FakeModem;
using abonex::test::whenDialogShown;

namespace {

constexpr HLINEAPP kApp = 0x11;
constexpr HLINE kLine = 0x22;

QString hex(std::uint32_t value) {
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

// A telephony line that records what it is asked, answers with scripted results, and lets the
// test deliver the messages a real line would.
class RecordingLine : public TelephonyLine {
  public:
    std::int32_t lineInitialize(HLINEAPP& lineApp, LINECALLBACK callback, const char* appName,
                                std::uint32_t& deviceCount) override {
        calls << QStringLiteral("lineInitialize %1").arg(appName ? appName : "null");
        m_callback = std::move(callback);
        if (initializeResult < 0) return initializeResult;
        lineApp = kApp;
        deviceCount = devices;
        return 0;
    }
    std::int32_t lineNegotiateAPIVersion(HLINEAPP lineApp, std::uint32_t deviceId,
                                         std::uint32_t low, std::uint32_t high,
                                         std::uint32_t& apiVersion, LINEEXTENSIONID&) override {
        calls << QStringLiteral("lineNegotiateAPIVersion %1 %2 %3 %4")
                     .arg(hex(lineApp), QString::number(deviceId), hex(low), hex(high));
        apiVersion = 0x00020000;
        return negotiateResult;
    }
    std::int32_t lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                          std::uint32_t apiVersion, std::uint32_t extVersion,
                          std::uint32_t instance, std::uint32_t privileges,
                          std::uint32_t mediaModes, const LINECALLPARAMS* params) override {
        calls << QStringLiteral("lineOpen %1 %2 %3 %4 %5 %6 %7")
                     .arg(hex(lineApp), hex(deviceId), hex(apiVersion), QString::number(extVersion),
                          QString::number(instance), hex(privileges), QString::number(mediaModes));
        openParams = *params;
        if (openResult < 0) return openResult;
        line = lineToGive;
        return 0;
    }
    std::int32_t lineMakeCall(HLINE line, HCALL* call, const char* address,
                              std::uint32_t countryCode, const LINECALLPARAMS* params) override {
        calls << QStringLiteral("lineMakeCall %1 %2 %3")
                     .arg(hex(line), QString::fromLatin1(address), QString::number(countryCode));
        m_callField = call;
        callParams = *params;
        return makeCallResult;
    }
    std::int32_t lineDrop(HCALL call, const char* userUserInfo, std::uint32_t size) override {
        calls << QStringLiteral("lineDrop %1 %2 %3")
                     .arg(hex(call), userUserInfo ? "info" : "null", QString::number(size));
        return dropResult;
    }
    std::int32_t lineDeallocateCall(HCALL call) override {
        calls << QStringLiteral("lineDeallocateCall %1").arg(hex(call));
        return 0;
    }
    std::int32_t lineGetCallInfo(HCALL call, LINECALLINFO* info) override {
        calls << QStringLiteral("lineGetCallInfo %1 %2").arg(hex(call)).arg(info->dwTotalSize);
        if (fillCallInfo) fillCallInfo(info);
        return callInfoResult;
    }
    std::int32_t lineConfigDialog(std::uint32_t deviceId, QWidget* owner,
                                  const char* deviceClass) override {
        calls << QStringLiteral("lineConfigDialog %1 %2 %3")
                     .arg(QString::number(deviceId), owner ? owner->objectName() : "null",
                          QString::fromLatin1(deviceClass));
        return configResult;
    }
    std::int32_t lineClose(HLINE line) override {
        calls << QStringLiteral("lineClose %1").arg(hex(line));
        return 0;
    }
    std::int32_t lineShutdown(HLINEAPP lineApp) override {
        calls << QStringLiteral("lineShutdown %1").arg(hex(lineApp));
        return 0;
    }

    // The completion of the last lineMakeCall: the handle is written, then LINE_REPLY.
    void reply(HCALL handle, std::int32_t result = 0) {
        if (m_callField != nullptr) *m_callField = handle;
        m_callback(0, LINE_REPLY, 0, 1, static_cast<std::uint32_t>(result), 0);
    }
    void callState(HCALL call, std::uint32_t state, std::uint32_t detail = 0) {
        m_callback(call, LINE_CALLSTATE, 0, state, detail, 0);
    }
    void message(std::uint32_t message) { m_callback(0, message, 0, 0, 0, 0); }

    QStringList calls;
    std::uint32_t devices = 1;
    std::int32_t initializeResult = 0;
    std::int32_t negotiateResult = 0;
    std::int32_t openResult = 0;
    HLINE lineToGive = kLine;
    std::int32_t makeCallResult = 7;
    std::int32_t dropResult = 8;
    std::int32_t callInfoResult = 0;
    std::int32_t configResult = kLineErrorCancelled;
    std::function<void(LINECALLINFO*)> fillCallInfo;
    LINECALLPARAMS openParams{};
    LINECALLPARAMS callParams{};

  private:
    LINECALLBACK m_callback;
    HCALL* m_callField = nullptr;
};

// The start sequence (the media mode travels in the call parameters).
QStringList startCalls() {
    return {QStringLiteral("lineInitialize null"),
            QStringLiteral("lineNegotiateAPIVersion 0x00000011 0 0x00010004 0x00020000"),
            QStringLiteral("lineOpen 0x00000011 0xffffffff 0x00020000 0 0 0x00000001 0")};
}

// The call parameters are all zero but their size, the voice bearer and `media`.
bool onlyBearerAndMedia(const LINECALLPARAMS& params, std::uint32_t media) {
    LINECALLPARAMS expected{};
    expected.dwTotalSize = 176;
    expected.dwBearerMode = LINEBEARERMODE_VOICE;
    expected.dwMediaMode = media;
    return std::memcmp(&params, &expected, sizeof params) == 0;
}

// A dialer on a form over a recording line, with every status text and box recorded.
struct Bench {
    RecordingLine line;
    QWidget form;
    std::unique_ptr<TTapiDial> dialer;
    QStringList statuses;
    QStringList boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

    Bench() { form.setObjectName(QStringLiteral("form")); }
    ~Bench() { dialer.reset(); }
    void create() {
        dialer = std::make_unique<TTapiDial>(&form, line);
        QObject::connect(dialer.get(), &TTapiDial::statusChanged,
                         [this](const QString& text) { statuses << text; });
        dialer->setNoticeBox([this](QWidget* parent, const QString& caption, const QString& text) {
            boxes << (parent == &form ? QString() : QStringLiteral("(not over the form) ")) +
                         caption + QStringLiteral(" | ") + text;
            return answer;
        });
    }
    void forget() {
        line.calls.clear();
        statuses.clear();
        boxes.clear();
    }
};

}  // namespace

class TapiDialTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { qunsetenv("ABONEX_MODEM"); }
    void cleanup() { qunsetenv("ABONEX_MODEM"); }

    // --- Construction ---

    void theOwnerMustBeAFormWithoutAnotherDialer() {
        RecordingLine line;
        QObject notAForm;
        QWidget form;
        auto* inside = new QWidget(&form);
        for (QObject* owner :
             {static_cast<QObject*>(nullptr), &notAForm, static_cast<QObject*>(inside)}) {
            try {
                TTapiDial dialer(owner, line);
                QFAIL("a dialer was made on something that is not a form");
            } catch (const std::invalid_argument& error) {
                QCOMPARE(QString::fromLatin1(error.what()),
                         QStringLiteral("Please drop the component onto a Form!"));
            }
        }
        QVERIFY(line.calls.isEmpty());
        TTapiDial first(&form, line);
        line.calls.clear();
        try {
            TTapiDial second(&form, line);
            QFAIL("a second dialer was made on one form");
        } catch (const std::invalid_argument& error) {
            QCOMPARE(QString::fromLatin1(error.what()),
                     QStringLiteral("There is TTApiDial component already on this form"));
        }
        QVERIFY(line.calls.isEmpty());
    }

    void constructionOpensADataModemLineWithTheExactValues() {
        Bench b;
        b.create();
        QCOMPARE(b.line.calls, startCalls());
        QVERIFY(onlyBearerAndMedia(b.line.openParams, LINEMEDIAMODE_DATAMODEM));
        QCOMPARE(b.dialer->TelephonNo(), QStringLiteral("9865"));
        QCOMPARE(b.dialer->CallDialog(), CallDialogKind::None);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("TAPI successfully initialized"));
        // The status window is shown and has logged the start.
        QVERIFY(b.dialer->StatusWindow());
        QWidget* window = TTapiDial::statusWindow();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Dial Stauts"));
        QCOMPARE(window->pos(), QPoint(527, 419));
        QCOMPARE(window->size(), QSize(230, 100));
        QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QListWidget* list = TTapiDial::statusList();
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("-> Initializing TAPI"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("-> TAPI successfully initialized"));
        QCOMPARE(list->currentRow(), 1);

        b.dialer->setStatusWindow(false);
        QVERIFY(TTapiDial::statusWindow() == nullptr);
        b.dialer->HangUp();  // logged nowhere now, but still the last status
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Line Dropped"));
    }

    void destructionClosesTheLine() {
        Bench b;
        b.create();
        b.forget();
        b.dialer.reset();
        QCOMPARE(b.line.calls, (QStringList{QStringLiteral("lineClose 0x00000022"),
                                            QStringLiteral("lineShutdown 0x00000011")}));
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("TAPI terminated"));
    }

    void callDialogRestartsTheLineOnlyWhenItChanges() {
        Bench b;
        b.create();
        b.forget();
        b.dialer->setCallDialog(CallDialogKind::Win95);
        QStringList expected{QStringLiteral("lineClose 0x00000022"),
                             QStringLiteral("lineShutdown 0x00000011")};
        expected += startCalls();
        QCOMPARE(b.line.calls, expected);
        QVERIFY(onlyBearerAndMedia(b.line.openParams, LINEMEDIAMODE_INTERACTIVEVOICE));
        QCOMPARE(b.statuses, (QStringList{QStringLiteral("Call dialog set to: Win95"),
                                          QStringLiteral("TAPI terminated"),
                                          QStringLiteral("Initializing TAPI"),
                                          QStringLiteral("TAPI successfully initialized")}));
        b.forget();
        b.dialer->setCallDialog(CallDialogKind::Win95);
        QVERIFY(b.line.calls.isEmpty());
        QVERIFY(b.statuses.isEmpty());
    }

    void eachFailedStartStepIsLoggedAndUndone() {
        struct Case {
            const char* name;
            std::function<void(RecordingLine&)> arrange;
            QString status;
            QString lastCall;
        };
        const QList<Case> cases{
            {"no devices", [](RecordingLine& l) { l.devices = 0; },
             QStringLiteral("No TAPI devices"), QStringLiteral("lineShutdown 0x00000011")},
            {"version", [](RecordingLine& l) { l.negotiateResult = -1; },
             QStringLiteral("Error in lineNegotiateAPIVersion"),
             QStringLiteral("lineShutdown 0x00000011")},
            {"open", [](RecordingLine& l) { l.openResult = -1; },
             QStringLiteral("Error in LineOpen"), QStringLiteral("lineShutdown 0x00000011")},
            {"no line handle", [](RecordingLine& l) { l.lineToGive = 0; },
             QStringLiteral("Error!!"), startCalls().last()},
            {"initialize", [](RecordingLine& l) { l.initializeResult = -1; },
             QStringLiteral("Initializing TAPI"), QStringLiteral("lineInitialize null")},
        };
        for (const Case& c : cases) {
            Bench b;
            c.arrange(b.line);
            b.create();
            QVERIFY2(b.line.calls.last() == c.lastCall, c.name);
            QVERIFY2(TTapiDial::LastStatus() == c.status, c.name);
            // A line that never opened: the first dial fails with the modem message.
            b.line.makeCallResult = kLineErrorInvalidLineHandle;
            b.forget();
            b.dialer->setTelephonNo(QStringLiteral("P22"));
            b.dialer->Dial();
            QVERIFY2(b.boxes == QStringList{QStringLiteral(
                                    "tapi_dial_test | Проверьте наличие и правильность "
                                    "подключения модема!")},
                     c.name);
        }
    }

    // --- Calls ---

    void dialHandsTheNumberOverAndDropsOnlyThePreviousCall() {
        Bench b;
        b.create();
        b.dialer->setCallDialog(CallDialogKind::Win95);
        b.forget();
        b.dialer->setTelephonNo(QStringLiteral("T22-33-44w1"));
        b.dialer->Dial();
        // The new call's handle comes later: the drop acts on the handle held (none yet).
        QCOMPARE(b.line.calls, (QStringList{QStringLiteral("lineMakeCall 0x00000022 T22-33-44w1 0"),
                                            QStringLiteral("lineDrop 0x00000000 null 0")}));
        QVERIFY(onlyBearerAndMedia(b.line.callParams, LINEMEDIAMODE_INTERACTIVEVOICE));
        QVERIFY(b.boxes.isEmpty());
        b.line.reply(0x77);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("LINE_REPLY ok"));
        b.forget();
        b.dialer->HangUp();
        QCOMPARE(b.line.calls, QStringList{QStringLiteral("lineDrop 0x00000077 null 0")});
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Line Dropped"));
        b.line.dropResult = kLineErrorInvalidCallState;
        b.dialer->HangUp();
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Error in lineDrop"));
    }

    void aNumberLongerThanTheAddressBufferIsRefused() {
        Bench b;
        b.create();
        b.dialer->setCallDialog(CallDialogKind::Win95);
        const QString longest(TTapiDial::kDialableAddressLength, u'5');
        b.forget();
        b.dialer->setTelephonNo(longest);
        b.dialer->Dial();
        QCOMPARE(b.line.calls.first(), QStringLiteral("lineMakeCall 0x00000022 %1 0").arg(longest));
        QVERIFY(b.boxes.isEmpty());
        b.forget();
        b.dialer->setTelephonNo(longest + u'5');
        b.dialer->Dial();
        QVERIFY(!b.line.calls.join(u' ').contains(QStringLiteral("lineMakeCall")));
        QCOMPARE(b.statuses.first(), QStringLiteral("Error in lineMakeCall"));
        QCOMPARE(b.boxes.size(), 1);
        QVERIFY(b.boxes.first().endsWith(
            QStringLiteral("Проверьте наличие и правильность подключения модема!")));
    }

    void emptyNumberDialsNothing() {
        Bench b;
        b.create();
        b.forget();
        b.dialer->setTelephonNo(QString());
        b.dialer->Dial();
        QVERIFY(b.line.calls.isEmpty());
        QVERIFY(b.boxes.isEmpty());
    }

    void failedCallShowsTheModemMessage() {
        for (QMessageBox::StandardButton answer : {QMessageBox::Ok, QMessageBox::NoButton}) {
            Bench b;
            b.create();
            b.dialer->setCallDialog(CallDialogKind::Win95);
            b.line.makeCallResult = kLineErrorCallUnavailable;
            b.answer = answer;
            b.forget();
            b.dialer->setTelephonNo(QStringLiteral("P22"));
            b.dialer->Dial();
            QCOMPARE(b.boxes, QStringList{QStringLiteral("tapi_dial_test | Проверьте наличие и "
                                                         "правильность подключения модема!")});
            // Only a box closed otherwise than by OK drops the line afterwards.
            if (answer == QMessageBox::Ok) {
                QCOMPARE(b.line.calls.size(), 1);
            } else {
                QCOMPARE(b.line.calls.size(), 2);
                QCOMPARE(b.line.calls.last(), QStringLiteral("lineDrop 0x00000000 null 0"));
            }
        }
    }

    void dataCallsAskWhetherToHangUp() {
        Bench b;
        b.create();  // CallDialog stays None
        b.forget();
        b.dialer->setTelephonNo(QStringLiteral("P22"));
        b.dialer->Dial();
        QCOMPARE(b.boxes, QStringList{QStringLiteral("Talking to P22 | HangUp?")});
        QCOMPARE(b.line.calls, (QStringList{QStringLiteral("lineMakeCall 0x00000022 P22 0"),
                                            QStringLiteral("lineDrop 0x00000000 null 0"),
                                            QStringLiteral("lineDrop 0x00000000 null 0")}));
        QVERIFY(onlyBearerAndMedia(b.line.callParams, LINEMEDIAMODE_DATAMODEM));
        // Closed another way, the box drops nothing; the dial's own last drop still comes.
        b.answer = QMessageBox::NoButton;
        b.forget();
        b.dialer->Dial();
        QCOMPARE(b.line.calls.size(), 2);
    }

    // --- Messages ---

    void eachMessageGivesItsStatusText() {
        Bench b;
        b.create();
        b.dialer->setTelephonNo(QStringLiteral("P22-33-44"));
        b.forget();
        const auto last = [] { return TTapiDial::LastStatus(); };
        b.line.message(LINE_REPLY);
        QCOMPARE(last(), QStringLiteral("LINE_REPLY ok"));
        b.line.reply(0, kLineErrorOperationFailed);
        QCOMPARE(last(), QStringLiteral("Reply error"));
        b.line.callState(0x77, LINECALLSTATE_DIALING);
        QCOMPARE(last(), QStringLiteral("Dialing: P22-33-44"));
        b.line.callState(0x77, LINECALLSTATE_PROCEEDING);
        QCOMPARE(last(), QStringLiteral("Proceeding"));
        b.line.callState(0x77, LINECALLSTATE_BUSY);
        QCOMPARE(last(), QStringLiteral("Busy"));
        b.line.callState(0x77, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
        QCOMPARE(last(), QStringLiteral("Disconnected: normal"));
        b.line.callState(0x77, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY);
        QCOMPARE(last(), QStringLiteral("Disconnected: busy"));
        b.line.callState(0x77, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER);
        QCOMPARE(last(), QStringLiteral("Disconnected: "));
        QVERIFY(b.line.calls.isEmpty());
        b.line.callState(0x77, LINECALLSTATE_IDLE);
        QCOMPARE(last(), QStringLiteral("Idle - call deallocated"));
        QCOMPARE(b.line.calls, QStringList{QStringLiteral("lineDeallocateCall 0x00000077")});

        // Ignored: other messages, other states, and idle or connected without a call.
        b.forget();
        b.line.message(LINE_CALLSTATE + 1);
        b.line.callState(0x77, 0x00000002);  // offering
        b.line.callState(0, LINECALLSTATE_IDLE);
        b.line.callState(0, LINECALLSTATE_CONNECTED);
        QVERIFY(b.statuses.isEmpty());
        QVERIFY(b.line.calls.isEmpty());
        // The status window lists the texts it saw.
        QVERIFY(TTapiDial::statusList()->item(TTapiDial::statusList()->count() - 1)->text() ==
                QStringLiteral("-> Idle - call deallocated"));
    }

    void connectedAppendsTheApplicationNameFromTheCallInfo() {
        Bench b;
        b.create();
        b.dialer->setTelephonNo(QStringLiteral("T5"));
        b.line.fillCallInfo = [](LINECALLINFO* info) {
            auto* bytes = reinterpret_cast<char*>(info);
            std::strcpy(bytes + 400, "abonex");
            info->dwAppNameSize = 7;
            info->dwAppNameOffset = 400;
        };
        b.forget();
        b.line.callState(0x77, LINECALLSTATE_CONNECTED);
        QCOMPARE(b.line.calls, QStringList{QStringLiteral("lineGetCallInfo 0x00000077 1024")});
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Connected: T5 abonex"));

        // A failed request or no name: the text ends after the number and its blank.
        b.line.callInfoResult = kLineErrorInvalidCallHandle;
        b.line.callState(0x77, LINECALLSTATE_CONNECTED);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Connected: T5 "));
        b.line.callInfoResult = 0;
        b.line.fillCallInfo = [](LINECALLINFO* info) { info->dwAppNameSize = 0; };
        b.line.callState(0x77, LINECALLSTATE_CONNECTED);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Connected: T5 "));

        // A line that gives an offset outside the buffer, or a name without its zero, is not
        // read past the buffer's 1024 bytes.
        b.line.fillCallInfo = [](LINECALLINFO* info) {
            info->dwAppNameSize = 5;
            info->dwAppNameOffset = 5000;
        };
        b.line.callState(0x77, LINECALLSTATE_CONNECTED);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Connected: T5 "));
        b.line.fillCallInfo = [](LINECALLINFO* info) {
            auto* bytes = reinterpret_cast<char*>(info);
            std::memset(bytes + 1020, 'x', 4);
            info->dwAppNameSize = 4;
            info->dwAppNameOffset = 1020;
        };
        b.line.callState(0x77, LINECALLSTATE_CONNECTED);
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("Connected: T5 xxxx"));
    }

    // --- Settings ---

    void configureModemRestartsTheLineOnlyWhenAccepted() {
        Bench b;
        b.create();
        b.forget();
        b.dialer->ConfigureModem();
        QCOMPARE(b.line.calls,
                 QStringList{QStringLiteral("lineConfigDialog 0 form comm/datamodem")});
        b.line.configResult = 0;
        b.forget();
        b.dialer->ConfigureModem();
        QStringList expected{QStringLiteral("lineConfigDialog 0 form comm/datamodem"),
                             QStringLiteral("lineClose 0x00000022"),
                             QStringLiteral("lineShutdown 0x00000011")};
        expected += startCalls();
        QCOMPARE(b.line.calls, expected);
    }

    void settingsDialogStoresWhatIsAcceptedAndAsksTheModem() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("abonex.ini"));
        ConfiguredLine line(
            [file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); });
        FakeModem modem;
        QWidget form;
        QString answer;
        bool shown = false;
        whenDialogShown<ModemSettingsDialog>([&](ModemSettingsDialog* dialog) {
            shown = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Настройка модема"));
            QVERIFY(dialog->rbModem->isChecked());
            QCOMPARE(dialog->edInit->text(), QStringLiteral("ATZ"));
            QCOMPARE(dialog->sbDialTimeout->value(), 60);
            QVERIFY(!dialog->lblOverride->isVisibleTo(dialog));
            dialog->cbDevice->setEditText(modem.devicePath());
            dialog->cbSpeed->setCurrentIndex(dialog->cbSpeed->findData(57600));
            dialog->edInit->setText(QStringLiteral("AT&F\r"));
            dialog->sbDialTimeout->setValue(30);
            // The code takes digits only, five at most.
            QVERIFY(dialog->edTownCode->text().isEmpty());
            QTest::keyClicks(dialog->edTownCode, QStringLiteral("(8-172)"));
            QCOMPARE(dialog->edTownCode->text(), QStringLiteral("8172"));
            QTest::mouseClick(dialog->btnQuery, Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return dialog->btnQuery->isEnabled(); }, 5000));
            answer = dialog->memoAnswer->toPlainText();
            // The desktop line leaves nothing of the modem to edit.
            dialog->rbDesktop->click();
            QVERIFY(!dialog->cbDevice->isEnabled());
            QVERIFY(!dialog->btnQuery->isEnabled());
            // Callers are looked up whichever way calls go out.
            QVERIFY(dialog->edTownCode->isEnabled());
            dialog->rbModem->click();
            dialog->buttons->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(line.lineConfigDialog(0, &form, "comm/datamodem"), 0);
        QVERIFY(shown);
        QCOMPARE(answer, QStringLiteral("Fake Hayes modem 1.0\nOK"));
        QSettings stored(file, QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Modem/Device")).toString(), modem.devicePath());
        QCOMPARE(stored.value(QStringLiteral("Modem/Speed")).toInt(), 57600);
        QCOMPARE(stored.value(QStringLiteral("Modem/Init")).toString(), QStringLiteral("AT&F"));
        QCOMPARE(stored.value(QStringLiteral("Modem/DialTimeout")).toInt(), 30);
        QCOMPARE(stored.value(QStringLiteral("Modem/Line")).toString(), QStringLiteral("modem"));
        QCOMPARE(stored.value(QStringLiteral("Modem/TownCode")).toString(), QStringLiteral("8172"));

        // Cancel stores nothing.
        whenDialogShown<ModemSettingsDialog>([&](ModemSettingsDialog* dialog) {
            dialog->rbDesktop->click();
            dialog->buttons->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(line.lineConfigDialog(0, &form, "comm/datamodem"), kLineErrorCancelled);
        QCOMPARE(line.storedSettings().line, PhoneLine::Modem);
        QCOMPARE(line.lineConfigDialog(1, &form, "comm/datamodem"), kLineErrorBadDeviceId);
    }

    void theConfiguredLineIsTheOneChosenOrTheOneTheEnvironmentNames() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("abonex.ini"));
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue(QStringLiteral("Modem/Line"), QStringLiteral("desktop"));
        }
        ConfiguredLine line(
            [file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); });
        QList<QUrl> opened;
        line.setUrlOpener([&](const QUrl& url, DesktopPhoneLine::Outcome outcome) {
            opened << url;
            outcome(true);
        });
        QWidget form;
        {
            TTapiDial dialer(&form, line);
            dialer.setCallDialog(CallDialogKind::Win95);
            QVERIFY(qobject_cast<DesktopPhoneLine*>(line.provider()) != nullptr);
            dialer.setTelephonNo(QStringLiteral("T2-11-11"));
            dialer.Dial();
            QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("tel:21111"))});
        }
        QVERIFY(QTest::qWaitFor([&] { return line.provider() == nullptr; }, 1000));

        FakeModem modem;
        qputenv("ABONEX_MODEM", modem.devicePath().toLocal8Bit());
        TTapiDial dialer(&form, line);
        auto* hayes = qobject_cast<HayesModemLine*>(line.provider());
        QVERIFY(hayes != nullptr);
        QCOMPARE(hayes->options().device, modem.devicePath());
        QCOMPARE(TTapiDial::LastStatus(), QStringLiteral("TAPI successfully initialized"));
        QCOMPARE(line.storedSettings().line, PhoneLine::Desktop);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tapi_dial_test"));
    TapiDialTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tapi_dial_test.moc"
