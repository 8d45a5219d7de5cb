// LineProvider: what every line provider shares — the application, line and call handles, the
// checks of the line operations' arguments, and the delivery of messages to the callback.
//
// A provider has one line device (device 0) and at most one call that is not idle at a time,
// except that a new call may be placed while the previous one is being dropped.
// A subclass says how many devices it has (openDevice), which media it can carry, how a call is
// started and dropped, and tells the base what the device did (callDialing, callConnected,
// callEnded, dropDone). The base turns that into call states and LINE_REPLY/LINE_CALLSTATE
// messages, queued to the Qt event loop in the order they happened. A provider that hears calls
// coming in tells of them with the signals incomingCall and incomingCallEnded, only while its
// line is open.
//
// Invariants: handles and request ids are never 0 and never used twice in the process; no
// message is delivered after lineClose (for that line's calls) or lineShutdown; a call handle
// stays valid until lineDeallocateCall, whatever its state.
#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <map>
#include <vector>

#include "dial/incoming_call.h"
#include "dial/telephony_line.h"

namespace abonex {

class LineProvider : public QObject, public TelephonyLine {
    Q_OBJECT
  public:
    explicit LineProvider(QObject* parent = nullptr);
    ~LineProvider() override;

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
    // A provider has no dialog of its own; ConfiguredLine shows the settings.
    std::int32_t lineConfigDialog(std::uint32_t deviceId, QWidget* owner,
                                  const char* deviceClass) override;
    std::int32_t lineClose(HLINE line) override;
    std::int32_t lineShutdown(HLINEAPP lineApp) override;

    // The longest dialable address a provider takes.
    static constexpr qsizetype kMaxAddress = 40;

  signals:
    // A call is coming in: emitted at each of its rings and once when its caller ID has come,
    // with what is known of the call so far.
    void incomingCall(const abonex::IncomingCall& call);
    // The rings of that call stopped (it was answered elsewhere or the caller gave up).
    void incomingCallEnded(const abonex::IncomingCall& call);

  protected:
    enum class CallKind { Voice, Data };
    struct Call {
        HCALL handle = 0;
        std::uint32_t state = 0;  // LINECALLSTATE_*; 0 while only requested
        CallKind kind = CallKind::Voice;
        QByteArray address;
        std::uint32_t dropRequest = 0;  // nonzero while a lineDrop is in progress
    };

    // Opens the device(s); the number of line devices that can place calls (0 or 1).
    virtual std::uint32_t openDevice() = 0;
    virtual void closeDevice() = 0;
    // Whether the device is still there (false after it stopped working).
    virtual bool deviceAlive() const = 0;
    virtual bool supportsKind(CallKind kind) const = 0;
    // The address as the device takes it, or a negative result refusing it. `address` holds
    // at most kMaxAddress bytes.
    virtual std::int32_t checkAddress(const QByteArray& address) const = 0;
    // Starts the device on the call the base has just allocated; a negative result undoes it.
    virtual std::int32_t startCall(Call& call) = 0;
    // Asks the device to end the call; it answers with dropDone() (or callEnded()).
    virtual void dropCall(Call& call) = 0;
    // The line is closing: stop whatever the device does for the call, without waiting.
    virtual void abandonCall(Call& call) = 0;

    // What the device reports about the active call.
    void callDialing();
    void callProceeding();
    void callBusy();
    void callConnected();
    // The active call ended by itself: DISCONNECTED with `disconnectMode`, then IDLE.
    void callEnded(std::uint32_t disconnectMode);
    // The drop of `call` asked for is done: IDLE and the drop's LINE_REPLY.
    void dropDone(HCALL call);

    // The call that is not idle and not being dropped, if any.
    Call* activeCall();
    // The call being dropped while a new one is placed (0: none).
    HCALL droppingCall() const { return m_dropping; }
    bool lineOpen() const { return m_line != 0; }
    const QByteArray& appName() const { return m_appName; }

  private:
    void setState(Call& call, std::uint32_t state, std::uint32_t detail = 0);
    void post(std::uint32_t device, std::uint32_t message, std::uint32_t param1,
              std::uint32_t param2, std::function<void()> before = {});
    void forgetLine();

    HLINEAPP m_app = 0;
    HLINE m_line = 0;
    LINECALLBACK m_callback;
    QByteArray m_appName;
    std::uint32_t m_devices = 0;
    std::uint32_t m_callbackInstance = 0;
    std::uint32_t m_openMediaMode = 0;
    std::uint64_t m_generation = 0;  // messages posted before a close carry an older one
    std::map<HCALL, Call> m_calls;   // allocated calls, idle ones included
    HCALL m_active = 0;
    // A call whose drop is under way when the next call is placed; it goes idle on its own.
    HCALL m_dropping = 0;
    // While a call is being started, its progress messages wait for the request's reply.
    bool m_holding = false;
    std::vector<std::function<void()>> m_held;
};

}  // namespace abonex
