// The line providers as the dialer uses them: the Hayes modem line against a fake modem on a
// pseudo-terminal (what the modem receives, which call states follow each answer, drops,
// time-outs, an unplugged modem, refused addresses, call information), the modem's replies,
// the desktop tel: line and the stored modem settings.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "dial/desktop_phone_line.h"
#include "dial/hayes_modem_line.h"
#include "dial/hayes_replies.h"
#include "dial/modem_settings.h"
#include "tools/fake_modem/fake_modem.h"

using namespace abonex;
using abonex::test::FakeModem;

namespace {

struct Message {
    std::uint32_t device;
    std::uint32_t message;
    std::uint32_t param1;
    std::uint32_t param2;
};

LINECALLPARAMS callParams(std::uint32_t mediaMode) {
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof(LINECALLPARAMS);
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = mediaMode;
    return params;
}

bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    return QTest::qWaitFor(condition, milliseconds);
}

// An application of a line provider: registers, opens the line, records every message.
class LineUser {
  public:
    explicit LineUser(TelephonyLine& provider) : m_line(provider) {}

    // The number of devices; the line is open when it is 1.
    std::uint32_t start(std::uint32_t mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE) {
        std::uint32_t devices = 0;
        const auto callback = [this](std::uint32_t device, std::uint32_t message, std::uint32_t,
                                     std::uint32_t param1, std::uint32_t param2, std::uint32_t) {
            messages.push_back({device, message, param1, param2});
            if (message == LINE_REPLY) handleAtReply.push_back(call);
        };
        EXPECT_EQ(m_line.lineInitialize(app, callback, "abonex-test", devices), 0);
        if (devices == 0) return 0;
        std::uint32_t version = 0;
        LINEEXTENSIONID extension{};
        EXPECT_EQ(m_line.lineNegotiateAPIVersion(app, 0, kLineApiVersionLow, kLineApiVersionHigh,
                                                 version, extension),
                  0);
        params = callParams(mediaMode);
        EXPECT_EQ(m_line.lineOpen(app, LINEMAPPER, line, version, 0, 0, LINECALLPRIVILEGE_NONE, 0,
                                  &params),
                  0);
        EXPECT_NE(line, 0u);
        return devices;
    }

    std::int32_t makeCall(const char* address) {
        return m_line.lineMakeCall(line, &call, address, 0, &params);
    }

    // The call states delivered for `of` (any call when 0), in order.
    std::vector<std::uint32_t> states(HCALL of = 0) const {
        std::vector<std::uint32_t> result;
        for (const Message& m : messages) {
            if (m.message == LINE_CALLSTATE && (of == 0 || m.device == of)) {
                result.push_back(m.param1);
            }
        }
        return result;
    }
    bool hasState(std::uint32_t state) const {
        const auto all = states();
        return std::find(all.begin(), all.end(), state) != all.end();
    }
    // The detail of the DISCONNECTED message, or ~0 when there was none.
    std::uint32_t disconnectMode() const {
        for (const Message& m : messages) {
            if (m.message == LINE_CALLSTATE && m.param1 == LINECALLSTATE_DISCONNECTED) {
                return m.param2;
            }
        }
        return ~0u;
    }
    bool replied(std::uint32_t request) const {
        return std::any_of(messages.begin(), messages.end(), [&](const Message& m) {
            return m.message == LINE_REPLY && m.param1 == request && m.param2 == 0;
        });
    }

    HLINEAPP app = 0;
    HLINE line = 0;
    HCALL call = 0;
    LINECALLPARAMS params{};
    std::vector<Message> messages;
    std::vector<HCALL> handleAtReply;  // what the call field held as each reply arrived

  private:
    TelephonyLine& m_line;
};

class HayesModemLineTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(modem.valid()); }

    HayesModemLine::Options options() const {
        HayesModemLine::Options o;
        o.device = modem.devicePath();
        o.commandTimeoutMs = 2000;
        o.guardMs = 300;
        return o;
    }
    // A line on the fake modem, open for `mediaMode`.
    void open(HayesModemLine::Options o, std::uint32_t mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE) {
        line = std::make_unique<HayesModemLine>(std::move(o));
        user = std::make_unique<LineUser>(*line);
        ASSERT_EQ(user->start(mediaMode), 1u);
    }
    void open() { open(options()); }
    bool modemGot(const QByteArray& command, int times = 1) {
        return waitFor([&] { return modem.count(command) >= times; });
    }

    FakeModem modem;
    std::unique_ptr<HayesModemLine> line;
    std::unique_ptr<LineUser> user;
};

// --- Devices ---

TEST_F(HayesModemLineTest, AModemThatAnswersOkIsTheOneDeviceAndGetsItsInitString) {
    HayesModemLine::Options o = options();
    o.initString = "AT&F E1";
    open(o);
    ASSERT_TRUE(modemGot("AT&F E1"));
    EXPECT_EQ(modem.commands().at(0), "AT");
}

TEST_F(HayesModemLineTest, NoDeviceWithoutAPathAPortOrAnAnswer) {
    for (const QString& device : {QString(), QStringLiteral("/dev/no-such-modem")}) {
        HayesModemLine::Options o = options();
        o.device = device;
        HayesModemLine missing(o);
        LineUser app(missing);
        EXPECT_EQ(app.start(), 0u) << device.toStdString();
    }
    // A port where nothing answers "AT": the probe gives up after its time.
    modem.setReply("AT", "");
    HayesModemLine::Options o = options();
    o.probeTimeoutMs = 300;
    HayesModemLine silent(o);
    LineUser app(silent);
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(app.start(), 0u);
    EXPECT_LT(waited.elapsed(), 2000);
}

TEST_F(HayesModemLineTest, VersionsOutsideOneFourToTwoAreRefused) {
    open();
    std::uint32_t version = 0;
    LINEEXTENSIONID extension{};
    EXPECT_EQ(
        line->lineNegotiateAPIVersion(user->app, 0, 0x00030000, 0x00040000, version, extension),
        kLineErrorIncompatibleVersion);
    EXPECT_EQ(
        line->lineNegotiateAPIVersion(user->app, 0, 0x00010000, 0x00010003, version, extension),
        kLineErrorIncompatibleVersion);
    EXPECT_EQ(
        line->lineNegotiateAPIVersion(user->app, 0, 0x00010004, 0x00030000, version, extension), 0);
    EXPECT_EQ(version, kLineApiVersionHigh);
    EXPECT_EQ(line->lineNegotiateAPIVersion(user->app, 1, kLineApiVersionLow, kLineApiVersionHigh,
                                            version, extension),
              kLineErrorBadDeviceId);
}

// --- Voice calls ---

TEST_F(HayesModemLineTest, VoiceCallDialsWithSemicolonAndIsConnectedByOk) {
    open();
    const std::int32_t request = user->makeCall("T22-33-44w5");
    ASSERT_GT(request, 0);
    // The handle arrives with the reply, through the event loop, not before.
    EXPECT_EQ(user->call, 0u);
    EXPECT_TRUE(user->messages.empty());
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_CONNECTED); }));
    EXPECT_EQ(modem.commands().last(), "ATDT22-33-44w5;");
    ASSERT_EQ(user->messages.front().message, LINE_REPLY);
    EXPECT_EQ(user->messages.front().param1, static_cast<std::uint32_t>(request));
    ASSERT_EQ(user->handleAtReply.size(), 1u);
    EXPECT_NE(user->handleAtReply.front(), 0u);
    EXPECT_EQ(user->states(user->call),
              (std::vector<std::uint32_t>{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                          LINECALLSTATE_CONNECTED}));
}

TEST_F(HayesModemLineTest, EachFailureAnswerEndsTheCallWithItsMode) {
    struct Case {
        QByteArray answer;
        std::uint32_t mode;
        bool busyFirst;
    };
    const Case cases[] = {
        {"BUSY", LINEDISCONNECTMODE_BUSY, true},
        {"7", LINEDISCONNECTMODE_BUSY, true},  // a modem set to numeric result codes
        {"NO CARRIER", LINEDISCONNECTMODE_NORMAL, false},
        {"NO ANSWER", LINEDISCONNECTMODE_NOANSWER, false},
        {"NO DIALTONE", LINEDISCONNECTMODE_NODIALTONE, false},
        {"ERROR", LINEDISCONNECTMODE_BADADDRESS, false},
    };
    for (const Case& c : cases) {
        FakeModem answering;
        answering.setReply("ATD", c.answer, 20);
        HayesModemLine::Options o = options();
        o.device = answering.devicePath();
        HayesModemLine modemLine(o);
        LineUser app(modemLine);
        ASSERT_EQ(app.start(), 1u);
        ASSERT_GT(app.makeCall("P5"), 0);
        ASSERT_TRUE(waitFor([&] { return app.hasState(LINECALLSTATE_IDLE); }))
            << c.answer.toStdString();
        std::vector<std::uint32_t> expected{LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING};
        if (c.busyFirst) expected.push_back(LINECALLSTATE_BUSY);
        expected.push_back(LINECALLSTATE_DISCONNECTED);
        expected.push_back(LINECALLSTATE_IDLE);
        EXPECT_EQ(app.states(), expected) << c.answer.toStdString();
        EXPECT_EQ(app.disconnectMode(), c.mode) << c.answer.toStdString();
        // The ended call can no longer be dropped; its handle is freed once.
        EXPECT_LT(modemLine.lineDrop(app.call, nullptr, 0), 0);
        EXPECT_EQ(modemLine.lineDeallocateCall(app.call), 0);
        EXPECT_LT(modemLine.lineDeallocateCall(app.call), 0);
    }
}

TEST_F(HayesModemLineTest, DroppingAConnectedVoiceCallHangsUp) {
    open();
    ASSERT_GT(user->makeCall("P1"), 0);
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_CONNECTED); }));
    const std::int32_t drop = line->lineDrop(user->call, nullptr, 0);
    ASSERT_GT(drop, 0);
    // A second drop while the first is under way is refused.
    EXPECT_EQ(line->lineDrop(user->call, nullptr, 0), kLineErrorInvalidCallState);
    ASSERT_TRUE(waitFor([&] { return user->replied(drop); }));
    EXPECT_EQ(modem.commands().last(), "ATH");
    EXPECT_EQ(user->states(user->call).back(), LINECALLSTATE_IDLE);
    // With the line free again the next call goes out.
    ASSERT_GT(user->makeCall("P2"), 0);
    EXPECT_TRUE(modemGot("ATDP2;"));
}

TEST_F(HayesModemLineTest, DroppingADialInProgressCancelsItThenHangsUp) {
    modem.setReply("ATD", "OK", 30000);
    open();
    ASSERT_GT(user->makeCall("P22"), 0);
    ASSERT_TRUE(modemGot("ATDP22;"));
    ASSERT_TRUE(waitFor([&] { return user->call != 0; }));
    const std::int32_t drop = line->lineDrop(user->call, nullptr, 0);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(waitFor([&] { return user->replied(drop); }, 3000));
    EXPECT_EQ(modem.commands().last(), "ATH");
    EXPECT_FALSE(user->hasState(LINECALLSTATE_CONNECTED));
    EXPECT_EQ(user->states().back(), LINECALLSTATE_IDLE);
}

TEST_F(HayesModemLineTest, ASecondCallWhileOneIsUpIsRefused) {
    open();
    ASSERT_GT(user->makeCall("P1"), 0);
    EXPECT_EQ(user->makeCall("P2"), kLineErrorCallUnavailable);
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_CONNECTED); }));
    EXPECT_EQ(modem.count("ATD"), 1);
}

TEST_F(HayesModemLineTest, DialTimeOutEndsTheCallAndPutsTheModemOnHook) {
    modem.setReply("ATD", "OK", 30000);
    HayesModemLine::Options o = options();
    o.dialTimeoutMs = 300;
    open(o);
    ASSERT_GT(user->makeCall("P22"), 0);
    QElapsedTimer waited;
    waited.start();
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_IDLE); }, 3000));
    EXPECT_LT(waited.elapsed(), 2500);
    EXPECT_EQ(user->disconnectMode(), LINEDISCONNECTMODE_NOANSWER);
    EXPECT_TRUE(modemGot("ATH"));
}

// --- Data calls ---

TEST_F(HayesModemLineTest, DataCallWithoutSemicolonEscapesWithGuardTimesBeforeHangingUp) {
    modem.setReply("ATD", "CONNECT 33600");
    modem.setGuardMs(250);
    open(options(), LINEMEDIAMODE_DATAMODEM);
    ASSERT_GT(user->makeCall("T5"), 0);
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_CONNECTED); }));
    EXPECT_EQ(modem.commands().last(), "ATDT5");
    const std::int32_t drop = line->lineDrop(user->call, nullptr, 0);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(waitFor([&] { return user->replied(drop); }));
    const QList<QByteArray> sent = modem.commands();
    ASSERT_GE(sent.size(), 2);
    EXPECT_EQ(sent.at(sent.size() - 2), "+++");
    EXPECT_EQ(sent.last(), "ATH");
}

TEST_F(HayesModemLineTest, TheFarEndHangingUpADataCallEndsItNormally) {
    modem.setReply("ATD", "CONNECT");
    open(options(), LINEMEDIAMODE_DATAMODEM);
    ASSERT_GT(user->makeCall("5"), 0);
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_CONNECTED); }));
    modem.sendUnsolicited("NO CARRIER");
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_IDLE); }));
    EXPECT_EQ(user->disconnectMode(), LINEDISCONNECTMODE_NORMAL);
}

// --- The modem going away ---

TEST_F(HayesModemLineTest, AnUnpluggedModemEndsTheCallAtOnceAndRefusesTheNext) {
    modem.setReply("ATD", "OK", 30000);
    open();
    ASSERT_GT(user->makeCall("P22"), 0);
    ASSERT_TRUE(modemGot("ATDP22;"));
    modem.unplug();
    ASSERT_TRUE(waitFor([&] { return user->hasState(LINECALLSTATE_IDLE); }, 3000));
    EXPECT_EQ(user->disconnectMode(), LINEDISCONNECTMODE_UNAVAIL);
    EXPECT_EQ(user->makeCall("P22"), kLineErrorDeviceGone);
    // An information request gets an answer instead of waiting for ever.
    QString answer;
    line->query("ATI", [&](const QString& text) { answer = text; });
    ASSERT_TRUE(waitFor([&] { return !answer.isEmpty(); }));
    EXPECT_EQ(answer, QStringLiteral("Модем не подключён."));
}

// --- Addresses and handles ---

TEST_F(HayesModemLineTest, AddressesThatCouldEndTheCommandOrOverrunAreRefused) {
    open();
    // Everything the line sends when it opens has gone out.
    ASSERT_TRUE(modemGot("AT+VCID=1"));
    QTest::qWait(50);
    modem.clearCommands();
    const QByteArray tooLong(LineProvider::kMaxAddress + 1, '1');
    const QByteArray longest(LineProvider::kMaxAddress, '1');
    for (const QByteArray& address : {tooLong, QByteArray("P22\rATH"), QByteArray("P22;ATZ"),
                                      QByteArray("P22\xd0\x94"), QByteArray("")}) {
        EXPECT_EQ(user->makeCall(address.constData()), kLineErrorInvalidAddress)
            << address.toStdString();
    }
    EXPECT_EQ(line->lineMakeCall(user->line, &user->call, nullptr, 0, &user->params),
              kLineErrorInvalidPointer);
    EXPECT_EQ(line->lineMakeCall(user->line + 1, &user->call, "P1", 0, &user->params),
              kLineErrorInvalidLineHandle);
    QTest::qWait(50);
    EXPECT_TRUE(modem.commands().isEmpty());
    EXPECT_TRUE(user->messages.empty());
    ASSERT_GT(user->makeCall(longest.constData()), 0);
    EXPECT_TRUE(modemGot("ATD" + longest + ";"));
}

TEST_F(HayesModemLineTest, DroppingNothingFails) {
    open();
    EXPECT_EQ(line->lineDrop(0, nullptr, 0), kLineErrorInvalidCallHandle);
    EXPECT_EQ(line->lineDrop(12345, nullptr, 0), kLineErrorInvalidCallHandle);
}

TEST_F(HayesModemLineTest, AfterLineCloseNoMessageArrivesAndTheModemHangsUp) {
    modem.setReply("ATD", "OK", 200);
    open();
    ASSERT_GT(user->makeCall("P22"), 0);
    EXPECT_EQ(line->lineClose(user->line), 0);
    EXPECT_EQ(line->lineShutdown(user->app), 0);
    QTest::qWait(500);
    EXPECT_TRUE(user->messages.empty());
    EXPECT_EQ(user->call, 0u);  // the reply that would have written it never came
    EXPECT_TRUE(modemGot("ATH"));
    EXPECT_EQ(line->lineClose(user->line), kLineErrorInvalidLineHandle);
    EXPECT_EQ(line->lineShutdown(user->app), kLineErrorInvalidAppHandle);
}

TEST_F(HayesModemLineTest, CallInfoNamesTheApplicationWithinTheCallersBuffer) {
    open();
    ASSERT_GT(user->makeCall("P22-33"), 0);
    ASSERT_TRUE(waitFor([&] { return user->call != 0; }));
    union {
        LINECALLINFO info;
        unsigned char bytes[1024];
    } buffer{};
    buffer.info.dwTotalSize = sizeof buffer;
    ASSERT_EQ(line->lineGetCallInfo(user->call, &buffer.info), 0);
    EXPECT_EQ(buffer.info.dwTotalSize, 1024u);
    EXPECT_EQ(buffer.info.dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
    ASSERT_EQ(buffer.info.dwAppNameSize, sizeof "abonex-test");
    ASSERT_LT(buffer.info.dwAppNameOffset + buffer.info.dwAppNameSize, 1024u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&buffer) + buffer.info.dwAppNameOffset,
                 "abonex-test");
    EXPECT_EQ(buffer.info.dwUsedSize, buffer.info.dwNeededSize);

    // A buffer with room for the fixed part only: nothing is written past it.
    buffer = {};
    std::fill(std::begin(buffer.bytes) + sizeof(LINECALLINFO), std::end(buffer.bytes), 0xAB);
    buffer.info.dwTotalSize = sizeof(LINECALLINFO);
    ASSERT_EQ(line->lineGetCallInfo(user->call, &buffer.info), 0);
    EXPECT_EQ(buffer.info.dwAppNameSize, 0u);
    EXPECT_GT(buffer.info.dwNeededSize, buffer.info.dwTotalSize);
    EXPECT_TRUE(std::all_of(std::begin(buffer.bytes) + sizeof(LINECALLINFO), std::end(buffer.bytes),
                            [](unsigned char b) { return b == 0xAB; }));
    buffer.info.dwTotalSize = sizeof(LINECALLINFO) - 1;
    EXPECT_EQ(line->lineGetCallInfo(user->call, &buffer.info), kLineErrorStructureTooSmall);
}

// --- Information requests ---

TEST_F(HayesModemLineTest, InformationRequestsGoThroughTheLinesOwnPortOrAFreeOne) {
    open();
    QString answer;
    line->query("ATI", [&](const QString& text) { answer = text; });
    ASSERT_TRUE(waitFor([&] { return !answer.isEmpty(); }));
    EXPECT_EQ(answer, QStringLiteral("Fake Hayes modem 1.0\nOK"));

    // A port the line holds cannot be opened a second time.
    answer.clear();
    HayesModemLine::queryDevice(options(), "ATI", [&](const QString& text) { answer = text; });
    ASSERT_TRUE(waitFor([&] { return !answer.isEmpty(); }));
    EXPECT_TRUE(answer.startsWith(QStringLiteral("Не удалось открыть ") + modem.devicePath()))
        << answer.toStdString();

    FakeModem other;
    other.setReply("ATI", "56000\nOK");
    HayesModemLine::Options o = options();
    o.device = other.devicePath();
    answer.clear();
    HayesModemLine::queryDevice(o, "ATI", [&](const QString& text) { answer = text; });
    ASSERT_TRUE(waitFor([&] { return !answer.isEmpty(); }));
    EXPECT_EQ(answer, QStringLiteral("56000\nOK"));
}

// --- Calls coming in ---

// What a line told of the calls coming in, in order.
struct IncomingRecorder {
    explicit IncomingRecorder(LineProvider& line) {
        QObject::connect(&line, &LineProvider::incomingCall,
                         [this](const IncomingCall& call) { reports.push_back(call); });
        QObject::connect(&line, &LineProvider::incomingCallEnded,
                         [this](const IncomingCall& call) { ended.push_back(call); });
    }
    std::vector<IncomingCall> reports;
    std::vector<IncomingCall> ended;
};

class IncomingCallTest : public HayesModemLineTest {
  protected:
    void openRinging() {
        HayesModemLine::Options o = options();
        o.ringGapMs = 700;
        open(o);
        recorder = std::make_unique<IncomingRecorder>(*line);
        ASSERT_TRUE(waitFor([&] { return modem.callerIdOn(); }));
    }
    // Rings `call` three times and waits until the line says the rings stopped.
    void ringAndWait(test::IncomingRing call) {
        call.rings = 3;
        call.intervalMs = 300;
        const size_t before = recorder->ended.size();
        modem.ring(call);
        ASSERT_TRUE(waitFor([&] { return recorder->ended.size() > before; }));
    }
    std::unique_ptr<IncomingRecorder> recorder;
};

CallerId petrov() {
    CallerId id;
    id.date = QStringLiteral("1210");
    id.time = QStringLiteral("1405");
    id.number = QStringLiteral("88172538752");
    id.name = QStringLiteral("PETROV A ZH");
    return id;
}

TEST_F(IncomingCallTest, CallerIdIsSwitchedOnAfterTheInitStringAtEveryOpen) {
    for (int open = 1; open <= 2; ++open) {
        openRinging();
        ASSERT_TRUE(modemGot("AT+VCID=1", open));
        const QList<QByteArray> sent = modem.commands();
        // The reset comes first: it would switch caller ID off again.
        EXPECT_LT(sent.lastIndexOf("ATZ"), sent.lastIndexOf("AT+VCID=1"));
        EXPECT_EQ(modem.count("AT#CID"), 0);
        EXPECT_EQ(line->lineShutdown(user->app), 0);
        QTest::qWait(50);
    }
}

TEST_F(IncomingCallTest, AModemThatRefusesTheNewerCommandGetsTheOlderBeforeAnyDial) {
    modem.setReply("AT+VCID", "ERROR");
    open();
    // A dial asked for at once waits behind the caller-ID commands.
    ASSERT_GT(user->makeCall("P5"), 0);
    ASSERT_TRUE(modemGot("ATDP5;"));
    const QList<QByteArray> sent = modem.commands();
    const qsizetype vcid = sent.indexOf("AT+VCID=1");
    const qsizetype cid = sent.indexOf("AT#CID=1");
    ASSERT_GE(vcid, 0);
    EXPECT_EQ(cid, vcid + 1);
    EXPECT_EQ(sent.indexOf("ATDP5;"), cid + 1);
    EXPECT_TRUE(modem.callerIdOn());
}

TEST_F(IncomingCallTest, FormattedCallerIdIsToldBetweenTheRingsAndAtTheEnd) {
    openRinging();
    ringAndWait({"88172538752", "PETROV A ZH"});
    ASSERT_EQ(recorder->reports.size(), 4u);
    EXPECT_EQ(recorder->reports[0], (IncomingCall{1, false, {}, false}));
    EXPECT_EQ(recorder->reports[1], (IncomingCall{1, true, petrov(), false}));
    EXPECT_EQ(recorder->reports[2], (IncomingCall{2, true, petrov(), false}));
    EXPECT_EQ(recorder->reports[3], (IncomingCall{3, true, petrov(), false}));
    ASSERT_EQ(recorder->ended.size(), 1u);
    EXPECT_EQ(recorder->ended[0], recorder->reports[3]);

    // The next call starts afresh.
    ringAndWait({"P", ""});
    ASSERT_EQ(recorder->ended.size(), 2u);
    CallerId withheld;
    withheld.date = QStringLiteral("1210");
    withheld.time = QStringLiteral("1405");
    withheld.numberAbsence = CallerIdAbsence::Withheld;
    EXPECT_EQ(recorder->ended[1], (IncomingCall{3, true, withheld, false}));
}

TEST_F(IncomingCallTest, DataMessagesInHexGiveTheSameCallerAndABadOneIsDropped) {
    openRinging();
    ringAndWait({"88172538752", "PETROV A ZH", "12101405", test::CallerIdForm::Mdmf});
    ASSERT_EQ(recorder->ended.size(), 1u);
    EXPECT_EQ(recorder->ended[0], (IncomingCall{3, true, petrov(), false}));

    ringAndWait({"O", "", "12101405", test::CallerIdForm::Sdmf});
    ASSERT_EQ(recorder->ended.size(), 2u);
    EXPECT_TRUE(recorder->ended[1].identified);
    EXPECT_EQ(recorder->ended[1].callerId.numberAbsence, CallerIdAbsence::Unavailable);

    recorder->reports.clear();
    test::IncomingRing bad{"88172538752", "PETROV A ZH", "12101405", test::CallerIdForm::Mdmf};
    bad.badChecksum = true;
    ringAndWait(bad);
    ASSERT_EQ(recorder->ended.size(), 3u);
    // The rings are a call all the same; nothing of the message shows.
    EXPECT_EQ(recorder->ended[2], (IncomingCall{3, false, {}, true}));
    for (const IncomingCall& report : recorder->reports) EXPECT_TRUE(report.callerId.empty());
}

TEST_F(IncomingCallTest, CallerIdBeforeTheFirstRingBeginsTheCall) {
    openRinging();
    CallerId local;
    local.number = QStringLiteral("538752");
    modem.sendUnsolicited("NMBR = 538752");
    modem.sendUnsolicited("RING");
    ASSERT_TRUE(waitFor([&] { return !recorder->ended.empty(); }));
    ASSERT_EQ(recorder->reports.size(), 2u);
    EXPECT_EQ(recorder->reports[0], (IncomingCall{0, true, local, false}));
    EXPECT_EQ(recorder->reports[1], (IncomingCall{1, true, local, false}));
}

TEST_F(IncomingCallTest, AHexAnswerToACommandIsNoCallAndAClosedLineTellsNothing) {
    openRinging();
    modem.setReply("ATI", "80240108\nOK");
    QString answer;
    line->query("ATI", [&](const QString& text) { answer = text; });
    ASSERT_TRUE(waitFor([&] { return !answer.isEmpty(); }));
    EXPECT_EQ(answer, QStringLiteral("80240108\nOK"));

    EXPECT_EQ(line->lineClose(user->line), 0);
    modem.ring({"88172538752", "PETROV A ZH", "12101405", test::CallerIdForm::Formatted, 2, 100});
    QTest::qWait(1200);
    EXPECT_TRUE(recorder->reports.empty());
    EXPECT_TRUE(recorder->ended.empty());
}

// --- Replies ---

TEST(HayesRepliesTest, ResultCodesVerboseAndNumeric) {
    EXPECT_EQ(classifyReply("OK"), HayesResult::Ok);
    EXPECT_EQ(classifyReply("0"), HayesResult::Ok);
    EXPECT_EQ(classifyReply("CONNECT 115200/V42BIS"), HayesResult::Connect);
    EXPECT_EQ(classifyReply("10"), HayesResult::Connect);
    EXPECT_EQ(classifyReply("no carrier"), HayesResult::NoCarrier);
    EXPECT_EQ(classifyReply("NO DIAL TONE"), HayesResult::NoDialtone);
    EXPECT_EQ(classifyReply("8"), HayesResult::NoAnswer);
    EXPECT_EQ(classifyReply("CONNECTED"), HayesResult::Info);
    EXPECT_EQ(classifyReply("OKAY"), HayesResult::Info);
    EXPECT_EQ(classifyReply("56000"), HayesResult::Info);
}

TEST(HayesRepliesTest, LinesArriveInAnyPiecesAndGarbageCannotGrowWithoutEnd) {
    HayesLineReader reader;
    reader.feed("\r\nO");
    EXPECT_FALSE(reader.nextLine());
    reader.feed("K\r\n\r\nNO CAR");
    EXPECT_EQ(reader.nextLine(), QByteArray("OK"));
    EXPECT_FALSE(reader.nextLine());
    reader.feed("RIER\n");
    EXPECT_EQ(reader.nextLine(), QByteArray("NO CARRIER"));
    reader.feed(QByteArray(HayesLineReader::kMaxLine * 2 + 3, 'x'));
    EXPECT_EQ(reader.nextLine()->size(), HayesLineReader::kMaxLine);
    EXPECT_EQ(reader.nextLine()->size(), HayesLineReader::kMaxLine);
    EXPECT_FALSE(reader.nextLine());
}

// --- The desktop line ---

TEST(DesktopPhoneLineTest, HandsTheDigitsToTheDesktopWithoutTheDialPrefix) {
    EXPECT_EQ(DesktopPhoneLine::telUrl("T22-33-44").toString(), QStringLiteral("tel:223344"));
    EXPECT_EQ(DesktopPhoneLine::telUrl("P8w(812)1").toString(), QStringLiteral("tel:88121"));
    EXPECT_EQ(DesktopPhoneLine::telUrl("T+7 812").toString(), QStringLiteral("tel:+7812"));
    EXPECT_TRUE(DesktopPhoneLine::telUrl("T-w-").isEmpty());

    QList<QUrl> opened;
    bool accept = true;
    int failures = 0;
    DesktopPhoneLine desktop([&](const QUrl& url, DesktopPhoneLine::Outcome outcome) {
        opened << url;
        outcome(accept);
    });
    QObject::connect(&desktop, &DesktopPhoneLine::handOffFailed, [&] { ++failures; });
    LineUser app(desktop);
    ASSERT_EQ(app.start(), 1u);
    ASSERT_GT(app.makeCall("T22-33-44"), 0);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("tel:223344"))});
    ASSERT_TRUE(waitFor([&] { return app.hasState(LINECALLSTATE_CONNECTED); }));
    const std::int32_t drop = desktop.lineDrop(app.call, nullptr, 0);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(waitFor([&] { return app.replied(drop); }));

    EXPECT_EQ(failures, 0);

    // A hand-off the desktop refuses (no program takes tel: links) ends the call as
    // unavailable and says so; the modem's failure is not reported for it.
    accept = false;
    app.messages.clear();
    ASSERT_GT(app.makeCall("T22-33-45"), 0);
    ASSERT_TRUE(waitFor([&] { return app.hasState(LINECALLSTATE_IDLE); }));
    EXPECT_FALSE(app.hasState(LINECALLSTATE_CONNECTED));
    EXPECT_TRUE(app.hasState(LINECALLSTATE_DISCONNECTED));
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(app.makeCall("P-w-"), kLineErrorInvalidAddress);
    EXPECT_EQ(opened.size(), 2);
}

TEST(DesktopPhoneLineTest, ALateAnswerOfTheDesktopFollowsTheCallItBelongsTo) {
    // The desktop's launcher answers after the call was dropped: nothing more happens to it.
    std::vector<DesktopPhoneLine::Outcome> pending;
    int failures = 0;
    DesktopPhoneLine desktop(
        [&](const QUrl&, DesktopPhoneLine::Outcome outcome) { pending.push_back(outcome); });
    QObject::connect(&desktop, &DesktopPhoneLine::handOffFailed, [&] { ++failures; });
    LineUser app(desktop);
    ASSERT_EQ(app.start(), 1u);
    ASSERT_GT(app.makeCall("T22-33-44"), 0);
    ASSERT_TRUE(waitFor([&] { return app.hasState(LINECALLSTATE_DIALING); }));
    EXPECT_FALSE(app.hasState(LINECALLSTATE_CONNECTED));
    const std::int32_t drop = desktop.lineDrop(app.call, nullptr, 0);
    ASSERT_GT(drop, 0);
    ASSERT_TRUE(waitFor([&] { return app.replied(drop); }));
    app.messages.clear();
    ASSERT_EQ(pending.size(), 1u);
    pending.front()(false);
    QTest::qWait(20);
    EXPECT_TRUE(app.messages.empty());
    EXPECT_EQ(failures, 0);
}

TEST(DesktopPhoneLineTest, OpensNoLineForDataCalls) {
    DesktopPhoneLine desktop([](const QUrl&, DesktopPhoneLine::Outcome outcome) { outcome(true); });
    HLINEAPP app = 0;
    std::uint32_t devices = 0;
    ASSERT_EQ(desktop.lineInitialize(
                  app, [](auto...) {}, nullptr, devices),
              0);
    HLINE line = 0;
    const LINECALLPARAMS data = callParams(LINEMEDIAMODE_DATAMODEM);
    EXPECT_EQ(desktop.lineOpen(app, LINEMAPPER, line, kLineApiVersionHigh, 0, 0,
                               LINECALLPRIVILEGE_NONE, 0, &data),
              kLineErrorMediaUnsupported);
    EXPECT_EQ(line, 0u);
}

// --- Stored settings ---

class ModemSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qunsetenv("ABONEX_MODEM");
    }
    void TearDown() override { qunsetenv("ABONEX_MODEM"); }
    QString file() const { return dir.filePath(QStringLiteral("abonex.ini")); }

    QTemporaryDir dir;
};

TEST_F(ModemSettingsTest, RoundTripInTheirOwnGroup) {
    ModemSettings stored;
    stored.line = PhoneLine::Desktop;
    stored.device = QStringLiteral("/dev/ttyACM0");
    stored.speed = 57600;
    stored.initString = QStringLiteral("AT&F");
    stored.dialTimeoutSeconds = 90;
    stored.townCode = QStringLiteral("8172");
    {
        QSettings settings(file(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("FormProperties/mnuTone"), true);
        stored.save(settings);
    }
    QSettings settings(file(), QSettings::IniFormat);
    EXPECT_EQ(ModemSettings::load(settings), stored);
    EXPECT_EQ(settings.value(QStringLiteral("Modem/Line")).toString(), QStringLiteral("desktop"));
    EXPECT_EQ(settings.value(QStringLiteral("Modem/Device")).toString(),
              QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(settings.value(QStringLiteral("Modem/TownCode")).toString(), QStringLiteral("8172"));
    EXPECT_TRUE(settings.value(QStringLiteral("FormProperties/mnuTone")).toBool());
    EXPECT_EQ(settings.childKeys().size(), 0);  // nothing outside the groups
}

TEST_F(ModemSettingsTest, DamagedValuesGiveTheDefaultsAndTheInitStringCannotEndACommand) {
    {
        QSettings settings(file(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("Modem/Line"), QStringLiteral("carrier pigeon"));
        settings.setValue(QStringLiteral("Modem/Speed"), QStringLiteral("fast"));
        settings.setValue(QStringLiteral("Modem/DialTimeout"), -5);
        settings.setValue(QStringLiteral("Modem/Init"), QStringLiteral("ATZ\rATD911\n"));
        settings.setValue(QStringLiteral("Modem/TownCode"), QStringLiteral("(8172)"));
    }
    QSettings settings(file(), QSettings::IniFormat);
    const ModemSettings loaded = ModemSettings::load(settings);
    EXPECT_EQ(loaded.line, PhoneLine::Modem);
    EXPECT_EQ(loaded.speed, ModemSettings::kDefaultSpeed);
    EXPECT_EQ(loaded.dialTimeoutSeconds, ModemSettings::kDefaultDialTimeout);
    EXPECT_EQ(loaded.initString, QStringLiteral("ATZATD911"));
    EXPECT_FALSE(loaded.initString.contains(u'\r'));
    // The code's digits; a code longer than any town's is none.
    EXPECT_EQ(loaded.townCode, QStringLiteral("8172"));
    EXPECT_TRUE(cleanTownCode(QStringLiteral("8 (81738)")).isEmpty());
    EXPECT_EQ(cleanTownCode(QStringLiteral("81738")), QStringLiteral("81738"));
}

TEST_F(ModemSettingsTest, TheEnvironmentNamesTheModemWithoutChangingTheStoredSettings) {
    ModemSettings stored;
    stored.line = PhoneLine::Desktop;
    stored.device = QStringLiteral("/dev/ttyS0");
    EXPECT_EQ(stored.effective(), stored);
    qputenv("ABONEX_MODEM", "/dev/pts/7");
    const ModemSettings effective = stored.effective();
    EXPECT_EQ(effective.line, PhoneLine::Modem);
    EXPECT_EQ(effective.device, QStringLiteral("/dev/pts/7"));
    EXPECT_EQ(stored.device, QStringLiteral("/dev/ttyS0"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
