// The columns of a file record in the main grid, in item order.
#pragma once

namespace zandrex::col {

constexpr int kPath = 0;     // folder, ending with "/"; carries the tick box
constexpr int kFile = 1;     // lower-case name
constexpr int kSize = 2;     // size in bytes (number)
constexpr int kDate = 3;     // "yyyy.mm.dd hh:mm:ss"
constexpr int kNameSize = 4; // hidden: "name, Size: N"
constexpr int kChecksum = 5; // hidden: CRC-32 text
constexpr int kContent = 6;  // hidden: size, CRC-32 and XXH3-128 of the content
constexpr int kCount = 7;

} // namespace zandrex::col
