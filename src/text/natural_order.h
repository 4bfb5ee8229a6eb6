// The order people expect of names with numbers in them: "disk2" before "disk10".
#pragma once

#include <string_view>

namespace zandrex {

// Compares a and b with every run of ASCII digits taken as one number (by value, however many
// leading zeros) and every other byte by its value. Texts equal that way are ordered by fewer
// leading zeros first and then bytewise, so the order is total: 0 only for equal texts.
// Negative when a comes first.
int naturalCompare(std::string_view a, std::string_view b);

} // namespace zandrex
