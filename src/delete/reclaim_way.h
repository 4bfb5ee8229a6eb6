// The ways the ticked copies' space can be reclaimed, and their words.
#pragma once

#include <string_view>

namespace zandrex {

enum class ReclaimWay {
  Delete,   // the name is removed
  Trash,    // the file is moved into the trash of its file system
  HardLink, // the name becomes a hard link of the kept copy
  Reflink,  // the file system stores the two files' bytes once
};

// True for the ways after which the file's name is gone from its folder.
constexpr bool takesNameAway(ReclaimWay way) {
  return way == ReclaimWay::Delete || way == ReclaimWay::Trash;
}

// "Deletion", "Moving to the trash", "Linking": what the failure window and its count line say.
constexpr std::string_view reclaimNoun(ReclaimWay way) {
  switch (way) {
  case ReclaimWay::Trash:
    return "Moving to the trash";
  case ReclaimWay::HardLink:
  case ReclaimWay::Reflink:
    return "Linking";
  case ReclaimWay::Delete:
    break;
  }
  return "Deletion";
}

} // namespace zandrex
