// IncomingCall: what a line knows of a call coming in — how often it has rung and who is
// calling, as far as the line was told.
#pragma once

#include <QMetaType>

#include "dial/caller_id.h"

namespace abonex {

struct IncomingCall {
    int rings = 0;  // 0 while the caller ID came before the first ring
    // Caller ID arrived for the call (`callerId` holds it; it may still say the number is
    // withheld or unavailable).
    bool identified = false;
    CallerId callerId;
    // A caller-ID message that failed its checks was dropped: nothing of it is in `callerId`.
    bool messageDropped = false;

    bool operator==(const IncomingCall&) const = default;
};

}  // namespace abonex

Q_DECLARE_METATYPE(abonex::IncomingCall)
