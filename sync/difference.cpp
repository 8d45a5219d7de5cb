#include "sync/difference.h"

namespace abonex {

std::string_view kindText(DifferenceKind kind) {
    switch (kind) {
        case DifferenceKind::Phone1:
            return "0";
        case DifferenceKind::Phone2:
            return "1";
        case DifferenceKind::Missing:
            break;
    }
    return "2";
}

}  // namespace abonex
