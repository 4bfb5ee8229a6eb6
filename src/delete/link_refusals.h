// Why a ticked file was not made a link of the kept copy, where the guard and the link itself
// both can tell.
#pragma once

namespace zandrex {

inline constexpr const char* kReasonNoKeptCopy = "No copy is being kept to link to";
inline constexpr const char* kReasonKeptElsewhere = "The copy being kept is on another file system";

} // namespace zandrex
