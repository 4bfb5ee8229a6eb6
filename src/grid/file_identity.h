// The identity of a file record: what the find saw of the file's device and inode.
#pragma once

#include "grid/report_grid.h"
#include "platform/file_identity.h"

namespace zandrex {

inline FileIdentity identityOf(const FileFacts& facts) {
  return {facts.device, facts.inode};
}

} // namespace zandrex
