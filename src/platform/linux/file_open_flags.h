// How the Linux layer opens a file of the searched tree for reading: shared by the one-by-one
// and the batched opens, which must refuse and accept the very same files.
#pragma once

#include <fcntl.h>

namespace zandrex::platform {

// O_NONBLOCK keeps a FIFO that took a file's place from hanging the open; no effect on files.
inline constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
// Tried first; refused (EPERM) for other users' files, which are then opened without it.
inline constexpr int kNoAccessTimeFlag = O_NOATIME;

} // namespace zandrex::platform
