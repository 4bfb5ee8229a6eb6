#include "errors/app_error.h"

#include "platform/platform.h"

#include <cerrno>

namespace zandrex {

AppError::AppError(std::int32_t number, std::string source, std::string description,
                   std::uint32_t systemError)
    : number(number), source(std::move(source)), description(std::move(description)),
      systemError(systemError) {}

void raiseError(std::int32_t number, const std::string& description, std::uint32_t systemError) {
  throw AppError(number, kOwnErrorSource, description, systemError);
}

std::int32_t errnumForErrno(int errnoValue) {
  switch (errnoValue) {
  case ENOENT:
    return errnum::kFileNotFound;
  case EACCES:
  case EPERM:
    return errnum::kPermissionDenied;
  case ENOTDIR:
    return errnum::kPathNotFound;
  case EOVERFLOW:
  case EFBIG:
    return errnum::kOverflow;
  case ENOMEM:
    return errnum::kOutOfMemory;
  default:
    return errnum::kPathFileAccess;
  }
}

void raiseSystemError(int errnoValue) {
  throw AppError(errnumForErrno(errnoValue), kOwnErrorSource,
                 platform::systemMessage(static_cast<std::uint32_t>(errnoValue)),
                 static_cast<std::uint32_t>(errnoValue));
}

void raiseOverflow() { throw AppError(errnum::kOverflow, kOwnErrorSource, "Overflow"); }

} // namespace zandrex
