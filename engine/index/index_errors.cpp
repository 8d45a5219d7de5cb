#include "engine/index/index_errors.h"

#include "engine/file/engine_error.h"

namespace abonex {

void raiseIndexError(std::string_view message) {
    throw EEngineError(std::string(message));
}

void raiseIndexDamaged(std::string_view path, std::string_view detail) {
    std::string message = "Index file damaged - ";
    message.append(path).append(": ").append(detail);
    throw EIndexDamaged(message);
}

void raiseIndexLockError(int lastError, std::string_view path) {
    std::string message = "Error " + std::to_string(lastError) + " in Lock of ";
    message.append(path);
    throw EEngineError(message);
}

void raiseIndexUnsettled(std::string_view path) {
    std::string message = "Index file ";
    message.append(path).append(" kept changing while it was read");
    throw EEngineError(message);
}

void raiseTagNotFound(std::string_view name) {
    std::string message = "Cannot find index tag ";
    message.append(name);
    throw EEngineError(message);
}

void raiseTooManyTags(std::string_view path) {
    std::string message = "Index file ";
    message.append(path).append(" holds 47 tags; no more can be added");
    throw EEngineError(message);
}

void raiseBadKeyType(std::string_view tagName) {
    std::string message = "Key expression of tag ";
    message.append(tagName).append(" gives no usable key type");
    throw EEngineError(message);
}

void raiseLogicalKey(std::string_view tagName) {
    std::string message = "Key expression of tag ";
    message.append(tagName).append(
        " gives a logical value; an index key holds text, a number or a date");
    throw EEngineError(message);
}

}  // namespace abonex
