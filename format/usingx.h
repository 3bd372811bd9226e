// The picture formatter: renders one number into a fixed-width field shaped by
// a mask such as "##.###" and appends it to a line under construction.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// Appends the field for `inx` to `out`. A single-precision value is passed
// widened exactly; its stored value is what gets formatted.
void USINGX(double inx, std::string_view mask, std::string& out);

} // namespace tb
