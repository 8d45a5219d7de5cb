// Engine errors: the one error routine of the storage engine and its exception classes.
//
// Every failure of a file, table, index or expression operation is raised as an EEngineError
// (or a descendant) built by raiseEngineError(). The message is formed from three values:
//   code     an operating-system error number (< 1000), the engine's own 33 (lock conflict)
//            or 221 (short read), or an engine code (1001...);
//   subCode  the operation that failed (1101 read, 1204 header read, ...);
//   text     as a rule the path of the file concerned.
// Known codes read "<message> - <text>"; unknown ones read
// "Engine Error <code>, SubCode <sub>.\r <text>><sub>" (", SubCode" omitted for sub-code -7).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace abonex {

class EEngineError : public std::runtime_error {
  public:
    EEngineError(int code, int subCode, std::string text, const std::string& message)
        : std::runtime_error(message), m_code(code), m_subCode(subCode), m_text(std::move(text)) {}
    explicit EEngineError(const std::string& message)
        : std::runtime_error(message), m_code(0), m_subCode(0) {}

    int code() const { return m_code; }
    int subCode() const { return m_subCode; }
    const std::string& text() const { return m_text; }

  private:
    int m_code;
    int m_subCode;
    std::string m_text;
};

// A table whose header says it is encrypted; this system never supplies a password.
class EEngineEncryption : public EEngineError {
  public:
    using EEngineError::EEngineError;
};

// Engine error codes used by name in the code.
namespace err {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 32;
inline constexpr int kLockViolation = 33;
inline constexpr int kShortRead = 221;
inline constexpr int kDiskReadError = 100;
inline constexpr int kDiskWriteError = 101;
inline constexpr int kFileExists = 183;
inline constexpr int kHeaderInvalid = 1001;
inline constexpr int kBeyondEof = 1002;
inline constexpr int kFieldNameInvalid = 1003;
inline constexpr int kFieldWrongType = 1004;
inline constexpr int kMemoFormat = 1005;
inline constexpr int kFormula = 1006;
inline constexpr int kNumberTooLarge = 1011;
// The path names another file than the one open (see GSO_DiskFile::pathNamesThisFile).
inline constexpr int kFileReplaced = 1012;
// The name shows a directory, a FIFO, a device or a socket where a table or an index belongs.
inline constexpr int kNotRegularFile = 1013;
}  // namespace err

// Sub-codes naming the failing operation.
namespace sub {
inline constexpr int kRead = 1101;
inline constexpr int kWrite = 1102;
inline constexpr int kSize = 1105;
inline constexpr int kRename = 1106;
inline constexpr int kOpen = 1107;
inline constexpr int kCreate = 1108;
inline constexpr int kTruncate = 1109;
inline constexpr int kFlush = 1111;
inline constexpr int kHeaderRead = 1204;
inline constexpr int kRecordRead = 1207;
inline constexpr int kMemoRead = 1208;
inline constexpr int kFieldLookup = 1298;
inline constexpr int kFieldType = 1299;
inline constexpr int kNoSubCode = -7;
}  // namespace sub

// The message the error routine gives for (code, subCode, text).
std::string engineErrorMessage(int code, int subCode, std::string_view text);

// The text of a known code ("File not found"), or empty for an unknown one.
std::string_view engineErrorText(int code);

// The error routine: raises EEngineError with the message above.
[[noreturn]] void raiseEngineError(int code, int subCode, std::string_view text);

// Raises "Error <lastError> in Lock of <path>": a lock that could not be had within its wait.
[[noreturn]] void raiseLockWaitError(int lastError, std::string_view path);

// Maps an errno value to the error number the engine reports (2 for ENOENT, 5 for EACCES, ...).
// `writing` tells an I/O error of a write (101) from one of a read (100).
int errnoToEngineCode(int errnoValue, bool writing = false);

}  // namespace abonex
