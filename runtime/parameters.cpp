// What the tools and the library say of a parameter's text.
#include "runtime/parameters.h"

#include "runtime/numeric.h"

namespace tb {

std::string parameterTextError(const std::string& option, const std::string& text) {
  // Appended piece by piece: GCC 12 warns wrongly of overlapping copies in a
  // chain of + on strings.
  std::string m = "\"";
  m += printableText(text);
  // A test with no time step never moves and never ends by itself.
  if (isWholeNumber(text) && option == parameterField(controls::Ttdelta).option && Val(text) == 0) {
    m += "\" reads as 0: with no time step the bodies never move and a test can never end; give a positive "
         "time step, for example 0.001";
    return m;
  }
  if (isWholeNumber(text)) return "";
  m += "\" is not a number; type digits with an optional sign and at most one \".\", for example ";
  for (const auto& f : parameterFields())
    if (option == f.option) m += f.defaultText;
  return m;
}

} // namespace tb
