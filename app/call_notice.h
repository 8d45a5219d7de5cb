// What the program says of a call coming in: the text of its notification, from the caller
// ID and the rows the caller's number finds in the directory (directory/number_lookup.h).
//
//   found          "Звонит: Петров А.Ж., 35-96-27"   (the name and the phone that matched)
//   several found  the first as above; the body names them all
//   not found      "Звонит 8 817 253-87-52 — нет в справочнике"
//   withheld       "Звонит: номер скрыт"
//   no number      "Звонит: номер не определён"
// The name the line sent, if any, is in the body.
#pragma once

#include <QString>
#include <vector>

#include "dial/caller_id.h"
#include "directory/number_lookup.h"

namespace abonex {

struct CallNotice {
    QString summary;
    QString body;
    bool operator==(const CallNotice&) const = default;
};

// The number as people write it: "8 817 253-87-52" for 11 digits, "817 253-87-52" for 10,
// pairs of digits from the right for a local number ("53-87-52", "538-87-52"); any other
// number as it came.
QString displayNumber(const QString& number);

// The notice for the caller `id` when the look-up found `found`.
CallNotice callNotice(const CallerId& id, const std::vector<NumberMatch>& found);
// The notice when the directory could not be read (`error`).
CallNotice callNoticeUnread(const CallerId& id, const QString& error);

}  // namespace abonex
