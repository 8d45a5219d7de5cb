// TelephonyLine: the telephony line interface the dialer places its calls through.
//
// One object stands for the whole telephony service of the process: an application registers
// with lineInitialize, opens a line, makes and drops calls on it, and closes and shuts down
// again. Every operation runs on the thread of the Qt event loop and returns at once; what the
// device does later reaches the callback given to lineInitialize as LINE_REPLY and
// LINE_CALLSTATE messages through that event loop. No message is delivered after lineShutdown.
//
// Implementations: ConfiguredLine (the one the program uses: the line provider the user chose),
// HayesModemLine (a modem on a serial port), DesktopPhoneLine (the desktop's phone application).
#pragma once

#include <cstdint>

#include "dial/tapi.h"

class QWidget;

namespace abonex {

class TelephonyLine {
  public:
    virtual ~TelephonyLine() = default;

    // Registers `callback`; `deviceCount` receives the number of line devices (0 when there is
    // none). `appName` may be null: the program's name stands for it then.
    virtual std::int32_t lineInitialize(HLINEAPP& lineApp, LINECALLBACK callback,
                                        const char* appName, std::uint32_t& deviceCount) = 0;
    // Picks the highest version both sides support between `lowVersion` and `highVersion`.
    virtual std::int32_t lineNegotiateAPIVersion(HLINEAPP lineApp, std::uint32_t deviceId,
                                                 std::uint32_t lowVersion,
                                                 std::uint32_t highVersion,
                                                 std::uint32_t& apiVersion,
                                                 LINEEXTENSIONID& extensionId) = 0;
    // Opens device `deviceId`, or with LINEMAPPER the first device that can place calls with
    // the bearer and media mode of `callParams`. On success `line` is nonzero.
    virtual std::int32_t lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                                  std::uint32_t apiVersion, std::uint32_t extVersion,
                                  std::uint32_t callbackInstance, std::uint32_t privileges,
                                  std::uint32_t mediaModes, const LINECALLPARAMS* callParams) = 0;
    // Starts a call to `destAddress` (a zero-terminated dialable address). Returns a positive
    // request id at once; `*call` receives the new call's handle when LINE_REPLY for that
    // request is delivered, so `call` must stay valid until then or until lineClose.
    virtual std::int32_t lineMakeCall(HLINE line, HCALL* call, const char* destAddress,
                                      std::uint32_t countryCode,
                                      const LINECALLPARAMS* callParams) = 0;
    // Drops `call`; a positive request id, or a negative result when there is no such call or
    // it is idle already.
    virtual std::int32_t lineDrop(HCALL call, const char* userUserInfo, std::uint32_t size) = 0;
    // Frees an idle call's handle.
    virtual std::int32_t lineDeallocateCall(HCALL call) = 0;
    // Fills `callInfo`, whose dwTotalSize says how large the caller's buffer is.
    virtual std::int32_t lineGetCallInfo(HCALL call, LINECALLINFO* callInfo) = 0;
    // Shows the settings dialog of device `deviceId` over `owner`. 0 when the user accepted
    // new settings; they take effect at the next lineInitialize.
    virtual std::int32_t lineConfigDialog(std::uint32_t deviceId, QWidget* owner,
                                          const char* deviceClass) = 0;
    // Closes the line; its calls end without further messages.
    virtual std::int32_t lineClose(HLINE line) = 0;
    virtual std::int32_t lineShutdown(HLINEAPP lineApp) = 0;
};

}  // namespace abonex
