// The seven parameter fields of the control form, written once: the control
// that holds each, the label the user sees beside it, its default text, the
// command-line option for it and what it means. The windows, the command
// lines, the messages and the tests all take them from here.
#pragma once

#include "runtime/controls.h"
#include "runtime/words.h"

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tb {

struct ParameterField {
  const char* control;
  const char* label;
  const char* defaultText;
  const char* option; // the batch tool's option for it
  const char* what;   // what it means, for help texts and tooltips
};

inline constexpr ParameterField kParameterFields[] = {
    {controls::Talphastr, "alpha (start)", "0", "--alpha-start",
     TB_WORDS("threebody", "start angle of the series, degrees")},
    {controls::Talphaend, "alpha (end)", "180", "--alpha-end",
     TB_WORDS("threebody", "end angle of the series, degrees")},
    {controls::Ttdelta, "tdelta", "0.001", "--tdelta", TB_WORDS("threebody", "time step of the integration")},
    {controls::Tinitv2, "init v3", "0.9", "--init-v3",
     TB_WORDS("threebody", "third body's start speed, fraction of its escape speed")},
    {controls::Tm2, "m2", "1000", "--m2", TB_WORDS("threebody", "mass of the second body (the first: 1000)")},
    {controls::Tm3, "m3", "1", "--m3", TB_WORDS("threebody", "mass of the third body")},
    {controls::Tdispmax, "disp max", "500", "--disp-max",
     TB_WORDS("threebody", "half-width of the plotted square")}};

inline std::span<const ParameterField> parameterFields() { return kParameterFields; }

// The message for a parameter option's text that is not wholly a number (or
// a time step that reads as 0), or an empty string when it is one.
std::string parameterTextError(const std::string& option, const std::string& text);

// Control name and text of each parameter field.
using FieldTexts = std::vector<std::pair<std::string, std::string>>;

// The fields as one line of option=text pairs, "alpha-start=0 alpha-end=180
// ...", in the table's order: how saved files name their experiment.
inline std::string parameterLine(const FieldTexts& fields) {
  std::string line;
  for (const auto& f : kParameterFields)
    for (const auto& [control, text] : fields)
      if (control == f.control) {
        if (!line.empty()) line += ' ';
        line += std::string_view(f.option).substr(2);
        line += '=';
        line += text;
      }
  return line;
}

// The default texts of the seven fields, in the control form's order.
inline FieldTexts defaultFieldTexts() {
  FieldTexts fields;
  for (const auto& f : kParameterFields)
    fields.emplace_back(f.control, f.defaultText);
  return fields;
}

// The field of `control`, which must be one of the seven.
constexpr const ParameterField& parameterField(std::string_view control) {
  for (const ParameterField& f : kParameterFields)
    if (control == f.control) return f;
  throw "not a parameter field"; // a programming error, found at compile time where used constantly
}

} // namespace tb
