// The messages of the index layer, each kept in one place, and the routines that raise them.
#pragma once

#include <string>
#include <string_view>

#include "engine/file/engine_error.h"

namespace abonex {

// A count, offset or pointer read from an index file that cannot be right. A reader without the
// index lock can meet one in a page that another writer is rewriting at that moment; the tag
// looks again before it reports it (GSobjMDXTag, mdx_tag_ops.cpp).
class EIndexDamaged : public EEngineError {
  public:
    using EEngineError::EEngineError;
};

inline constexpr std::string_view kMsgSortKeyTooLong = "Sort key length greater than 240 bytes";
inline constexpr std::string_view kMsgSortTypeInvalid = "Variant type cannot be sorted";
inline constexpr std::string_view kMsgSortAfterRetrieval =
    "Cannot add sort keys after beginning retrieval";
inline constexpr std::string_view kMsgTreeTooDeep = "Index tree deeper than 32 levels";
inline constexpr std::string_view kMsgVariantMismatch = "Variant types mismatch for compare";

// Raises EEngineError with `message` as it stands.
[[noreturn]] void raiseIndexError(std::string_view message);

// Raises EIndexDamaged: "Index file damaged - <path>: <detail>".
[[noreturn]] void raiseIndexDamaged(std::string_view path, std::string_view detail);

// The index-file lock could not be had: "Error <lastError> in Lock of <path>".
[[noreturn]] void raiseIndexLockError(int lastError, std::string_view path);

// A reader found the blocks it read changed by other writers every time it looked, for as long
// as a writer waits for the index lock: "Index file <path> kept changing while it was read".
[[noreturn]] void raiseIndexUnsettled(std::string_view path);

// "Cannot find index tag <name>".
[[noreturn]] void raiseTagNotFound(std::string_view name);

// "Index file <path> holds 47 tags; no more can be added".
[[noreturn]] void raiseTooManyTags(std::string_view path);

// "Key expression of tag <name> gives no usable key type".
[[noreturn]] void raiseBadKeyType(std::string_view tagName);

// "Key expression of tag <name> gives a logical value; an index key holds text, a number or a
// date". Such a key has no form in the file that other readers and the check would take for
// the expression's value.
[[noreturn]] void raiseLogicalKey(std::string_view tagName);

}  // namespace abonex
