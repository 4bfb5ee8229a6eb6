// A file's identity on this machine: its device and inode. Two names with one identity are
// hard links of one file; a folder with the identity the walk recorded is the folder it entered.
#pragma once

#include <cstdint>
#include <functional>

namespace zandrex {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct FileIdentityHash {
  std::size_t operator()(const FileIdentity& id) const {
    constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ull;
    return std::hash<std::uint64_t>()(id.inode * kMix ^ id.device);
  }
};

} // namespace zandrex
