#include "dial/line_provider.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace abonex {

namespace {

// Handles and request ids come from one sequence for the whole process, so a handle kept by an
// application after its line was closed can never name somebody else's line or call.
std::uint32_t nextId() {
    static std::uint32_t last = 0;
    if (++last == 0 || last > 0x7FFFFFFF) last = 1;  // request ids must stay positive
    return last;
}

// Copies `text` with its terminating zero into the variable part of `info` at `used`, if it
// fits the caller's buffer; returns the bytes it needs.
std::uint32_t putText(LINECALLINFO* info, std::uint32_t& used, const QByteArray& text,
                      std::uint32_t& size, std::uint32_t& offset) {
    const auto needed = static_cast<std::uint32_t>(text.size()) + 1;
    if (info->dwTotalSize >= used && info->dwTotalSize - used >= needed) {
        auto* bytes = reinterpret_cast<unsigned char*>(info);
        std::memcpy(bytes + used, text.constData(), text.size());
        bytes[used + needed - 1] = 0;
        size = needed;
        offset = used;
        used += needed;
    }
    return needed;
}

}  // namespace

LineProvider::LineProvider(QObject* parent) : QObject(parent) {}

LineProvider::~LineProvider() = default;

std::int32_t LineProvider::lineInitialize(HLINEAPP& lineApp, LINECALLBACK callback,
                                          const char* appName, std::uint32_t& deviceCount) {
    if (m_app != 0) return kLineErrorOperationFailed;  // one application per provider
    if (!callback) return kLineErrorInvalidPointer;
    m_devices = openDevice();
    m_app = nextId();
    m_callback = std::move(callback);
    m_appName =
        appName != nullptr ? QByteArray(appName) : QCoreApplication::applicationName().toUtf8();
    lineApp = m_app;
    deviceCount = m_devices;
    return 0;
}

std::int32_t LineProvider::lineNegotiateAPIVersion(HLINEAPP lineApp, std::uint32_t deviceId,
                                                   std::uint32_t lowVersion,
                                                   std::uint32_t highVersion,
                                                   std::uint32_t& apiVersion,
                                                   LINEEXTENSIONID& extensionId) {
    if (lineApp == 0 || lineApp != m_app) return kLineErrorInvalidAppHandle;
    if (deviceId >= m_devices) return kLineErrorBadDeviceId;
    if (lowVersion > highVersion || lowVersion > kLineApiVersionHigh ||
        highVersion < kLineApiVersionLow) {
        return kLineErrorIncompatibleVersion;
    }
    apiVersion = std::min(highVersion, kLineApiVersionHigh);
    extensionId = {};
    return 0;
}

std::int32_t LineProvider::lineOpen(HLINEAPP lineApp, std::uint32_t deviceId, HLINE& line,
                                    std::uint32_t apiVersion, std::uint32_t,
                                    std::uint32_t callbackInstance, std::uint32_t, std::uint32_t,
                                    const LINECALLPARAMS* callParams) {
    if (lineApp == 0 || lineApp != m_app) return kLineErrorInvalidAppHandle;
    if (deviceId != LINEMAPPER && deviceId >= m_devices) return kLineErrorBadDeviceId;
    if (m_devices == 0) return kLineErrorBadDeviceId;
    if (m_line != 0) return kLineErrorOperationFailed;  // the device has one line
    if (apiVersion < kLineApiVersionLow || apiVersion > kLineApiVersionHigh) {
        return kLineErrorIncompatibleVersion;
    }
    std::uint32_t mediaMode = 0;
    if (callParams != nullptr) {
        if (callParams->dwTotalSize < sizeof(LINECALLPARAMS)) return kLineErrorStructureTooSmall;
        mediaMode = callParams->dwMediaMode;
        const bool voice = mediaMode == LINEMEDIAMODE_INTERACTIVEVOICE;
        const bool data = mediaMode == LINEMEDIAMODE_DATAMODEM;
        if (callParams->dwBearerMode != LINEBEARERMODE_VOICE || (!voice && !data) ||
            !supportsKind(voice ? CallKind::Voice : CallKind::Data)) {
            return kLineErrorMediaUnsupported;
        }
    }
    m_line = nextId();
    m_callbackInstance = callbackInstance;
    m_openMediaMode = mediaMode;
    line = m_line;
    return 0;
}

std::int32_t LineProvider::lineMakeCall(HLINE line, HCALL* call, const char* destAddress,
                                        std::uint32_t, const LINECALLPARAMS* callParams) {
    if (line == 0 || line != m_line) return kLineErrorInvalidLineHandle;
    if (call == nullptr || destAddress == nullptr) return kLineErrorInvalidPointer;
    if (callParams != nullptr && callParams->dwTotalSize < sizeof(LINECALLPARAMS)) {
        return kLineErrorStructureTooSmall;
    }
    if (!deviceAlive()) return kLineErrorDeviceGone;
    // A call being dropped makes way for the next one: its hang-up goes to the device first.
    const Call* previous = activeCall();
    if (previous != nullptr && (previous->dropRequest == 0 || m_dropping != 0)) {
        return kLineErrorCallUnavailable;
    }

    const std::uint32_t mediaMode =
        callParams != nullptr ? callParams->dwMediaMode : m_openMediaMode;
    CallKind kind;
    if (mediaMode == LINEMEDIAMODE_INTERACTIVEVOICE || mediaMode == 0) {
        kind = CallKind::Voice;
    } else if (mediaMode == LINEMEDIAMODE_DATAMODEM) {
        kind = CallKind::Data;
    } else {
        return kLineErrorMediaUnsupported;
    }
    if (!supportsKind(kind)) return kLineErrorMediaUnsupported;

    // The address is read up to its zero or one byte past the longest allowed, never further.
    const auto length = static_cast<qsizetype>(::strnlen(destAddress, kMaxAddress + 1));
    if (length == 0 || length > kMaxAddress) return kLineErrorInvalidAddress;
    const QByteArray address(destAddress, length);
    if (const std::int32_t refused = checkAddress(address); refused < 0) return refused;

    const HCALL handle = nextId();
    const std::uint32_t request = nextId();
    const HCALL previousHandle = m_active;
    Call& placed = m_calls[handle];
    placed.handle = handle;
    placed.kind = kind;
    placed.address = address;
    m_dropping = previousHandle;
    m_active = handle;

    // The device may report progress at once; those messages follow the request's reply.
    m_holding = true;
    const std::int32_t started = startCall(placed);
    m_holding = false;
    std::vector<std::function<void()>> held = std::move(m_held);
    m_held.clear();
    if (started < 0) {
        m_calls.erase(handle);
        m_active = previousHandle;
        m_dropping = 0;
        return started;
    }
    post(0, LINE_REPLY, request, 0, [call, handle] { *call = handle; });
    for (auto& delivery : held) QMetaObject::invokeMethod(this, delivery, Qt::QueuedConnection);
    return static_cast<std::int32_t>(request);
}

std::int32_t LineProvider::lineDrop(HCALL call, const char*, std::uint32_t) {
    const auto found = m_calls.find(call);
    if (call == 0 || found == m_calls.end()) return kLineErrorInvalidCallHandle;
    Call& dropped = found->second;
    if (dropped.state == LINECALLSTATE_IDLE || dropped.dropRequest != 0) {
        return kLineErrorInvalidCallState;
    }
    const std::uint32_t request = nextId();
    dropped.dropRequest = request;
    dropCall(dropped);
    return static_cast<std::int32_t>(request);
}

std::int32_t LineProvider::lineDeallocateCall(HCALL call) {
    const auto found = m_calls.find(call);
    if (call == 0 || found == m_calls.end()) return kLineErrorInvalidCallHandle;
    if (found->second.state != LINECALLSTATE_IDLE) return kLineErrorInvalidCallState;
    m_calls.erase(found);
    return 0;
}

std::int32_t LineProvider::lineGetCallInfo(HCALL call, LINECALLINFO* callInfo) {
    const auto found = m_calls.find(call);
    if (call == 0 || found == m_calls.end()) return kLineErrorInvalidCallHandle;
    if (callInfo == nullptr) return kLineErrorInvalidPointer;
    if (callInfo->dwTotalSize < sizeof(LINECALLINFO)) return kLineErrorStructureTooSmall;
    const Call& info = found->second;
    const std::uint32_t total = callInfo->dwTotalSize;
    std::memset(callInfo, 0, sizeof(LINECALLINFO));
    callInfo->dwTotalSize = total;
    callInfo->hLine = m_line;
    callInfo->dwBearerMode = LINEBEARERMODE_VOICE;
    callInfo->dwMediaMode =
        info.kind == CallKind::Voice ? LINEMEDIAMODE_INTERACTIVEVOICE : LINEMEDIAMODE_DATAMODEM;
    callInfo->dwCallID = info.handle;
    callInfo->dwCallStates = LINECALLSTATE_IDLE | LINECALLSTATE_DIALING | LINECALLSTATE_BUSY |
                             LINECALLSTATE_CONNECTED | LINECALLSTATE_PROCEEDING |
                             LINECALLSTATE_DISCONNECTED;
    std::uint32_t used = sizeof(LINECALLINFO);
    std::uint32_t needed = used;
    needed +=
        putText(callInfo, used, m_appName, callInfo->dwAppNameSize, callInfo->dwAppNameOffset);
    needed += putText(callInfo, used, info.address, callInfo->dwDisplayableAddressSize,
                      callInfo->dwDisplayableAddressOffset);
    callInfo->dwNeededSize = needed;
    callInfo->dwUsedSize = used;
    return 0;
}

std::int32_t LineProvider::lineConfigDialog(std::uint32_t, QWidget*, const char*) {
    return kLineErrorOperationFailed;
}

std::int32_t LineProvider::lineClose(HLINE line) {
    if (line == 0 || line != m_line) return kLineErrorInvalidLineHandle;
    forgetLine();
    return 0;
}

std::int32_t LineProvider::lineShutdown(HLINEAPP lineApp) {
    if (lineApp == 0 || lineApp != m_app) return kLineErrorInvalidAppHandle;
    if (m_line != 0) forgetLine();
    closeDevice();
    m_app = 0;
    m_devices = 0;
    m_callback = nullptr;
    ++m_generation;
    return 0;
}

void LineProvider::forgetLine() {
    if (Call* call = activeCall()) abandonCall(*call);
    m_calls.clear();
    m_active = 0;
    m_dropping = 0;
    m_line = 0;
    ++m_generation;
}

LineProvider::Call* LineProvider::activeCall() {
    const auto found = m_calls.find(m_active);
    return m_active != 0 && found != m_calls.end() ? &found->second : nullptr;
}

void LineProvider::callDialing() {
    if (Call* call = activeCall()) setState(*call, LINECALLSTATE_DIALING);
}

void LineProvider::callProceeding() {
    if (Call* call = activeCall()) setState(*call, LINECALLSTATE_PROCEEDING);
}

void LineProvider::callBusy() {
    if (Call* call = activeCall()) setState(*call, LINECALLSTATE_BUSY);
}

void LineProvider::callConnected() {
    if (Call* call = activeCall()) setState(*call, LINECALLSTATE_CONNECTED);
}

void LineProvider::callEnded(std::uint32_t disconnectMode) {
    Call* call = activeCall();
    if (call == nullptr) return;
    setState(*call, LINECALLSTATE_DISCONNECTED, disconnectMode);
    dropDone(call->handle);
}

void LineProvider::dropDone(HCALL handle) {
    const auto found = m_calls.find(handle);
    if (handle == 0 || found == m_calls.end()) return;
    Call& call = found->second;
    if (call.state == LINECALLSTATE_IDLE) return;
    setState(call, LINECALLSTATE_IDLE);
    if (call.dropRequest != 0) post(0, LINE_REPLY, call.dropRequest, 0);
    if (m_active == handle) m_active = 0;
    if (m_dropping == handle) m_dropping = 0;
}

void LineProvider::setState(Call& call, std::uint32_t state, std::uint32_t detail) {
    call.state = state;
    post(call.handle, LINE_CALLSTATE, state, detail);
}

void LineProvider::post(std::uint32_t device, std::uint32_t message, std::uint32_t param1,
                        std::uint32_t param2, std::function<void()> before) {
    auto delivery = [this, generation = m_generation, device, message, param1, param2,
                     before = std::move(before)] {
        if (generation != m_generation || !m_callback) return;
        if (before) before();
        // A copy: the application may shut the line down from inside its callback.
        const LINECALLBACK callback = m_callback;
        callback(device, message, m_callbackInstance, param1, param2, 0);
    };
    if (m_holding) {
        m_held.push_back(std::move(delivery));
    } else {
        QMetaObject::invokeMethod(this, std::move(delivery), Qt::QueuedConnection);
    }
}

}  // namespace abonex
