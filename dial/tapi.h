// The telephony line interface: the handles, values and records that pass between the dialer
// and a line provider.
//
// Handles are 32-bit numbers, 0 meaning none. A line operation returns 0 or a positive request
// identifier on success and a negative value on failure; an asynchronous request reports its
// completion later as a LINE_REPLY message with the same identifier. Messages reach the
// application's callback through the Qt event loop, never from inside the operation that caused
// them.
//
// LINECALLPARAMS (176 bytes, every field a 32-bit unsigned number, little end first):
//   OFFSET SIZE  DESCRIPTION
//        0    4  dwTotalSize: 176
//        4    4  dwBearerMode: LINEBEARERMODE_*
//        8    8  dwMinRate, dwMaxRate
//       16    4  dwMediaMode: LINEMEDIAMODE_*
//       20   12  dwCallParamFlags, dwAddressMode, dwAddressID
//       32   16  DialParams: dial pause, dial speed, digit duration, wait for dial tone
//       48   64  size/offset pairs: originating address, displayable address, called party,
//                comment, user-user information, high and low level compatibility,
//                device-specific part
//      112   64  dwPredictiveAutoTransferStates, then size/offset pairs: target address,
//                sending and receiving flow specifications, device class, device
//                configuration, call data; dwNoAnswerTimeout; calling party identifier pair
//
// LINECALLINFO (the fixed part is 296 bytes; the caller's buffer may be larger and the provider
// puts variable-length parts after the fixed part, addressed by size/offset pairs from the
// record's start):
//   OFFSET SIZE  DESCRIPTION
//        0   12  dwTotalSize (the buffer's size, set by the caller), dwNeededSize, dwUsedSize
//       12   12  hLine, dwLineDeviceID, dwAddressID
//       24   16  dwBearerMode, dwRate, dwMediaMode, dwAppSpecific
//       40   24  dwCallID, dwRelatedCallID, dwCallParamFlags, dwCallStates,
//                dwMonitorDigitModes, dwMonitorMediaModes
//       64   16  DialParams
//       80   28  dwOrigin, dwReason, dwCompletionID, dwNumOwners, dwNumMonitors,
//                dwCountryCode, dwTrunk
//      108  100  caller, called, connected, redirection and redirecting party: flags, number
//                size/offset, name size/offset (five 20-byte groups)
//      208    8  dwAppNameSize (with the terminating zero), dwAppNameOffset
//      216   80  size/offset pairs: displayable address, called party, comment, display,
//                user-user information, high and low level compatibility, charging
//                information, terminal modes, device-specific part
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace abonex {

using HLINEAPP = std::uint32_t;
using HLINE = std::uint32_t;
using HCALL = std::uint32_t;

// Line device identifier that asks the provider to pick a line able to place the call that the
// call parameters describe.
inline constexpr std::uint32_t LINEMAPPER = 0xFFFFFFFF;

// Interface versions the dialer can work with.
inline constexpr std::uint32_t kLineApiVersionLow = 0x00010004;   // 1.4
inline constexpr std::uint32_t kLineApiVersionHigh = 0x00020000;  // 2.0

// Messages to the line callback.
inline constexpr std::uint32_t LINE_CALLSTATE = 2;  // device: the call; param1: new state;
                                                    // param2: detail (disconnect mode)
inline constexpr std::uint32_t LINE_REPLY = 12;     // param1: request id; param2: result

// Call states.
inline constexpr std::uint32_t LINECALLSTATE_IDLE = 0x00000001;
inline constexpr std::uint32_t LINECALLSTATE_DIALING = 0x00000010;
inline constexpr std::uint32_t LINECALLSTATE_BUSY = 0x00000040;
inline constexpr std::uint32_t LINECALLSTATE_CONNECTED = 0x00000100;
inline constexpr std::uint32_t LINECALLSTATE_PROCEEDING = 0x00000200;
inline constexpr std::uint32_t LINECALLSTATE_DISCONNECTED = 0x00004000;

// Why a call was disconnected (the detail of LINECALLSTATE_DISCONNECTED).
inline constexpr std::uint32_t LINEDISCONNECTMODE_NORMAL = 0x00000001;
inline constexpr std::uint32_t LINEDISCONNECTMODE_BUSY = 0x00000020;
inline constexpr std::uint32_t LINEDISCONNECTMODE_NOANSWER = 0x00000040;
inline constexpr std::uint32_t LINEDISCONNECTMODE_BADADDRESS = 0x00000080;
inline constexpr std::uint32_t LINEDISCONNECTMODE_UNAVAIL = 0x00000800;
inline constexpr std::uint32_t LINEDISCONNECTMODE_NODIALTONE = 0x00001000;

inline constexpr std::uint32_t LINECALLPRIVILEGE_NONE = 0x00000001;

inline constexpr std::uint32_t LINEBEARERMODE_VOICE = 0x00000001;
inline constexpr std::uint32_t LINEMEDIAMODE_INTERACTIVEVOICE = 0x00000004;
inline constexpr std::uint32_t LINEMEDIAMODE_DATAMODEM = 0x00000010;

// Failures of the line operations (every negative result is a failure).
inline constexpr std::int32_t kLineErrorOperationFailed = -1;   // the device refused or failed
inline constexpr std::int32_t kLineErrorInvalidAppHandle = -2;  // not registered
inline constexpr std::int32_t kLineErrorBadDeviceId = -3;       // no such line device
inline constexpr std::int32_t kLineErrorInvalidLineHandle = -4;
inline constexpr std::int32_t kLineErrorInvalidCallHandle = -5;
inline constexpr std::int32_t kLineErrorInvalidCallState = -6;  // e.g. dropping an idle call
inline constexpr std::int32_t kLineErrorInvalidAddress = -7;    // too long or not dialable
inline constexpr std::int32_t kLineErrorCallUnavailable = -8;   // the line has a call already
inline constexpr std::int32_t kLineErrorIncompatibleVersion = -9;
inline constexpr std::int32_t kLineErrorInvalidPointer = -10;
inline constexpr std::int32_t kLineErrorStructureTooSmall = -11;
inline constexpr std::int32_t kLineErrorMediaUnsupported = -12;  // no line for these modes
inline constexpr std::int32_t kLineErrorDeviceGone = -13;        // the device stopped working
inline constexpr std::int32_t kLineErrorCancelled = -14;         // a dialog was cancelled

struct LINEDIALPARAMS {
    std::uint32_t dwDialPause;
    std::uint32_t dwDialSpeed;
    std::uint32_t dwDigitDuration;
    std::uint32_t dwWaitForDialtone;
};

struct LINECALLPARAMS {
    std::uint32_t dwTotalSize;
    std::uint32_t dwBearerMode;
    std::uint32_t dwMinRate;
    std::uint32_t dwMaxRate;
    std::uint32_t dwMediaMode;
    std::uint32_t dwCallParamFlags;
    std::uint32_t dwAddressMode;
    std::uint32_t dwAddressID;
    LINEDIALPARAMS DialParams;
    std::uint32_t dwOrigAddressSize;
    std::uint32_t dwOrigAddressOffset;
    std::uint32_t dwDisplayableAddressSize;
    std::uint32_t dwDisplayableAddressOffset;
    std::uint32_t dwCalledPartySize;
    std::uint32_t dwCalledPartyOffset;
    std::uint32_t dwCommentSize;
    std::uint32_t dwCommentOffset;
    std::uint32_t dwUserUserInfoSize;
    std::uint32_t dwUserUserInfoOffset;
    std::uint32_t dwHighLevelCompSize;
    std::uint32_t dwHighLevelCompOffset;
    std::uint32_t dwLowLevelCompSize;
    std::uint32_t dwLowLevelCompOffset;
    std::uint32_t dwDevSpecificSize;
    std::uint32_t dwDevSpecificOffset;
    std::uint32_t dwPredictiveAutoTransferStates;
    std::uint32_t dwTargetAddressSize;
    std::uint32_t dwTargetAddressOffset;
    std::uint32_t dwSendingFlowspecSize;
    std::uint32_t dwSendingFlowspecOffset;
    std::uint32_t dwReceivingFlowspecSize;
    std::uint32_t dwReceivingFlowspecOffset;
    std::uint32_t dwDeviceClassSize;
    std::uint32_t dwDeviceClassOffset;
    std::uint32_t dwDeviceConfigSize;
    std::uint32_t dwDeviceConfigOffset;
    std::uint32_t dwCallDataSize;
    std::uint32_t dwCallDataOffset;
    std::uint32_t dwNoAnswerTimeout;
    std::uint32_t dwCallingPartyIDSize;
    std::uint32_t dwCallingPartyIDOffset;
};
static_assert(sizeof(LINECALLPARAMS) == 176);

// One party's identification in LINECALLINFO.
struct LINEPARTYID {
    std::uint32_t dwFlags;
    std::uint32_t dwSize;
    std::uint32_t dwOffset;
    std::uint32_t dwNameSize;
    std::uint32_t dwNameOffset;
};

struct LINECALLINFO {
    std::uint32_t dwTotalSize;
    std::uint32_t dwNeededSize;
    std::uint32_t dwUsedSize;
    HLINE hLine;
    std::uint32_t dwLineDeviceID;
    std::uint32_t dwAddressID;
    std::uint32_t dwBearerMode;
    std::uint32_t dwRate;
    std::uint32_t dwMediaMode;
    std::uint32_t dwAppSpecific;
    std::uint32_t dwCallID;
    std::uint32_t dwRelatedCallID;
    std::uint32_t dwCallParamFlags;
    std::uint32_t dwCallStates;
    std::uint32_t dwMonitorDigitModes;
    std::uint32_t dwMonitorMediaModes;
    LINEDIALPARAMS DialParams;
    std::uint32_t dwOrigin;
    std::uint32_t dwReason;
    std::uint32_t dwCompletionID;
    std::uint32_t dwNumOwners;
    std::uint32_t dwNumMonitors;
    std::uint32_t dwCountryCode;
    std::uint32_t dwTrunk;
    LINEPARTYID CallerID;
    LINEPARTYID CalledID;
    LINEPARTYID ConnectedID;
    LINEPARTYID RedirectionID;
    LINEPARTYID RedirectingID;
    std::uint32_t dwAppNameSize;
    std::uint32_t dwAppNameOffset;
    std::uint32_t dwDisplayableAddressSize;
    std::uint32_t dwDisplayableAddressOffset;
    std::uint32_t dwCalledPartySize;
    std::uint32_t dwCalledPartyOffset;
    std::uint32_t dwCommentSize;
    std::uint32_t dwCommentOffset;
    std::uint32_t dwDisplaySize;
    std::uint32_t dwDisplayOffset;
    std::uint32_t dwUserUserInfoSize;
    std::uint32_t dwUserUserInfoOffset;
    std::uint32_t dwHighLevelCompSize;
    std::uint32_t dwHighLevelCompOffset;
    std::uint32_t dwLowLevelCompSize;
    std::uint32_t dwLowLevelCompOffset;
    std::uint32_t dwChargingInfoSize;
    std::uint32_t dwChargingInfoOffset;
    std::uint32_t dwTerminalModesSize;
    std::uint32_t dwTerminalModesOffset;
    std::uint32_t dwDevSpecificSize;
    std::uint32_t dwDevSpecificOffset;
};
static_assert(sizeof(LINECALLINFO) == 296);
static_assert(offsetof(LINECALLINFO, dwAppNameSize) == 208);

// The provider-specific extension negotiated with the interface version (none is used).
struct LINEEXTENSIONID {
    std::uint32_t dwExtensionID0;
    std::uint32_t dwExtensionID1;
    std::uint32_t dwExtensionID2;
    std::uint32_t dwExtensionID3;
};

// The application's callback: device handle (the call for LINE_CALLSTATE), message, the
// callback instance given to lineOpen, and three message parameters.
using LINECALLBACK =
    std::function<void(std::uint32_t device, std::uint32_t message, std::uint32_t instance,
                       std::uint32_t param1, std::uint32_t param2, std::uint32_t param3)>;

}  // namespace abonex
