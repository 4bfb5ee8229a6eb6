// The error that travels: what a failing operation raises and what a trap receives.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace zandrex {

// Error numbers the engine raises with. Their descriptions are the system's texts.
namespace errnum {
constexpr std::int32_t kOverflow = 6;
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternal = 51;
constexpr std::int32_t kFileNotFound = 53;
constexpr std::int32_t kPermissionDenied = 70;
constexpr std::int32_t kPathFileAccess = 75;
constexpr std::int32_t kPathNotFound = 76;
} // namespace errnum

// The project name that errors raised by our own code carry as their source.
inline constexpr const char* kOwnErrorSource = "Zandrex";

struct AppError : std::exception {
  std::int32_t number = 0;
  std::string source;
  std::string description;
  std::string helpFile;
  std::int32_t helpContext = 0;
  // Procedure-local line of the failing statement; 0 = none (we keep no line numbers).
  std::int32_t line = 0;
  // The system error code (errno) left by the system call that failed; 0 = none.
  std::uint32_t systemError = 0;

  AppError() = default;
  AppError(std::int32_t number, std::string source, std::string description,
           std::uint32_t systemError = 0);
  const char* what() const noexcept override { return description.c_str(); }
};

// Raises an AppError with our own source.
[[noreturn]] void raiseError(std::int32_t number, const std::string& description,
                             std::uint32_t systemError = 0);

// Raises the error that matches a failed system call: the number from errnumForErrno, the
// system's text for the errno as description, and the errno as system error.
[[noreturn]] void raiseSystemError(int errnoValue);

// The familiar error number for an errno: ENOENT 53, EACCES/EPERM 70, ENOTDIR 76,
// EOVERFLOW/EFBIG 6, anything else 75 (path/file access error).
std::int32_t errnumForErrno(int errnoValue);

// Raises the overflow error (6).
[[noreturn]] void raiseOverflow();

} // namespace zandrex
