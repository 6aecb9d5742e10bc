#pragma once
// The one exception type of the platform layer, and the classic numbers that
// failures are reported with.
#include <stdexcept>
#include <string>

namespace marbrook {

namespace errnum {
inline constexpr long kInvalidProcedureCall = 5;
inline constexpr long kOverflow = 6;
inline constexpr long kOutOfMemory = 7;
inline constexpr long kSubscriptOutOfRange = 9;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kFileNotFound = 53;
inline constexpr long kFileAlreadyExists = 58;
inline constexpr long kPermissionDenied = 70;
inline constexpr long kPathFileAccessError = 75;
inline constexpr long kPathNotFound = 76;
inline constexpr long kInvalidFileFormat = 321;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kNotSupported = 438;
inline constexpr long kAutomationError = 440;
} // namespace errnum

// Thrown by every platform service. `number` is the failure's number,
// `source` the component that raised it, `description` a sentence for people.
class PlatformError : public std::runtime_error {
public:
    PlatformError(long number, std::string source, std::string description)
        : std::runtime_error(description), number_(number), source_(std::move(source)),
          description_(std::move(description)) {}

    [[nodiscard]] long Number() const noexcept { return number_; }
    [[nodiscard]] const std::string& Source() const noexcept { return source_; }
    [[nodiscard]] const std::string& Description() const noexcept { return description_; }

private:
    long number_;
    std::string source_;
    std::string description_;
};

// What a caught failure is reported with.
struct ErrorInfo {
    long number = 0;
    std::string source;
    std::string description;
};

// Describes the exception currently being handled (call inside a catch block):
// PlatformError keeps its fields; standard exceptions map to the classic
// numbers (overflow 6, out of memory 7, subscript 9, file not found 53,
// permission denied 70, path not found 76); anything else is 440.
ErrorInfo DescribeCurrentException() noexcept;

} // namespace marbrook
