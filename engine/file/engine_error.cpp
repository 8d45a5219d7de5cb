#include "engine/file/engine_error.h"

#include <cerrno>

namespace abonex {

namespace {

struct CodeText {
    int code;
    std::string_view text;
};

constexpr CodeText kCodeTexts[] = {
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {12, "Invalid file access code"},
    {15, "Invalid drive number"},
    {32, "File access denied"},
    {33, "Record locked by another user"},
    {100, "Disk read error"},
    {101, "Disk write error"},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk is write-protected"},
    {152, "Drive not ready"},
    {162, "Hardware failure"},
    {183, "File already exists"},
    {1001, "dBase DBF file header invalid"},
    {1002, "dBase record request beyond EOF"},
    {1003, "dBase field name is invalid"},
    {1004, "dBase field is of incorrect type"},
    {1005, "dBase memo record has format error"},
    {1006, "Formula expression cannot be translated"},
    {1011, "Number too large to fit in field"},
    {1012, "File was replaced by another program"},
    {1013, "Not a regular file"},
};

}  // namespace

std::string_view engineErrorText(int code) {
    for (const auto& entry : kCodeTexts) {
        if (entry.code == code) return entry.text;
    }
    return {};
}

std::string engineErrorMessage(int code, int subCode, std::string_view text) {
    std::string_view known = engineErrorText(code);
    std::string message;
    if (!known.empty()) {
        message.append(known).append(" - ").append(text);
        return message;
    }
    message = "Engine Error " + std::to_string(code);
    if (subCode != sub::kNoSubCode) message += ", SubCode " + std::to_string(subCode);
    message += ".\r";
    if (!text.empty()) {
        message.append(" ").append(text).append(">").append(std::to_string(subCode));
    }
    return message;
}

void raiseEngineError(int code, int subCode, std::string_view text) {
    throw EEngineError(code, subCode, std::string(text), engineErrorMessage(code, subCode, text));
}

void raiseLockWaitError(int lastError, std::string_view path) {
    std::string message = "Error " + std::to_string(lastError) + " in Lock of " + std::string(path);
    throw EEngineError(lastError, 0, std::string(path), message);
}

int errnoToEngineCode(int errnoValue, bool writing) {
    switch (errnoValue) {
        case 0:
            return 0;
        case ENOENT:
            return err::kFileNotFound;
        case ENOTDIR:
            return err::kPathNotFound;
        case EMFILE:
        case ENFILE:
            return err::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EISDIR:
            return err::kAccessDenied;
        case EAGAIN:
            return err::kLockViolation;
        case EBADF:
            return 6;  // invalid handle
        case EROFS:
            return 150;  // "Disk is write-protected"
        case EEXIST:
            return err::kFileExists;
        case ENOSPC:
        case EDQUOT:
            return 112;  // disk full
        case ENAMETOOLONG:
            return 206;  // file name too long
        case EINVAL:
            return 87;  // invalid parameter
        case EFBIG:
            return 223;  // file too large
        case EIO:
            return writing ? err::kDiskWriteError : err::kDiskReadError;
        default:
            return errnoValue;
    }
}

}  // namespace abonex
