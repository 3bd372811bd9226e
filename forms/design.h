// The designed windows: the control form's 39 controls with their captions,
// initial texts, geometry and tab order, and the designed sizes of the display
// and print forms. Shared by the Qt windows and the in-memory runtime.
#pragma once

#include "runtime/forms_runtime.h"
#include "runtime/parameters.h"

#include <array>
#include <string>
#include <vector>

namespace tb {

enum class ControlKind { Button, Label, TextBox };

struct ControlDesign {
  const char* name;
  ControlKind kind;
  const char* text;             // caption or initial text
  int left, top, width, height; // twips, inside the client area
  int tabIndex;
};

// The control form's controls, rows top to bottom, left to right in a row.
const std::vector<ControlDesign>& form1Controls();

inline constexpr const char* kForm1Caption = "Control Form";
inline constexpr const char* kForm2Caption = "Display Form";
inline constexpr const char* kForm3Caption = "Print Form";
// Designed client areas in twips: control, display and print form.
inline constexpr std::array<WindowDesign, 3> kWindowDesigns = {
    WindowDesign{4440, 4080}, WindowDesign{4680, 5835}, WindowDesign{6420, 6420}};

} // namespace tb
