// The designed control form: its 39 controls, captions, geometry and tab order.
#include "forms/design.h"
#include "runtime/controls.h"

namespace tb {

const std::vector<ControlDesign>& form1Controls() {
  using K = ControlKind;
  static const std::vector<ControlDesign> controls = {
      {controls::CommandStart, K::Button, "Start", 240, 240, 855, 375, 0},
      {controls::CommandEnd, K::Button, "End", 1200, 240, 855, 375, 1},
      {controls::Ltdelta, K::Label, "tdelta", 2400, 240, 735, 375, 19},
      {controls::Ttdelta, K::TextBox, parameterField(controls::Ttdelta).defaultText, 3240, 240, 855, 375, 18},
      {controls::Lalpha, K::Label, "alpha", 240, 720, 615, 375, 11},
      {controls::Talphastr, K::TextBox, parameterField(controls::Talphastr).defaultText, 960, 720, 615, 375,
       20},
      {controls::Talpha, K::TextBox, "0", 1680, 720, 495, 375, 10},
      {controls::Talphaend, K::TextBox, parameterField(controls::Talphaend).defaultText, 2400, 720, 615, 375,
       21},
      {controls::Linitv2, K::Label, "init v3", 3120, 840, 495, 375, 15},
      {controls::Tinitv2, K::TextBox, parameterField(controls::Tinitv2).defaultText, 3840, 720, 495, 375, 14},
      {controls::Lm2, K::Label, "m2", 240, 1200, 495, 375, 30},
      {controls::Tm2, K::TextBox, parameterField(controls::Tm2).defaultText, 960, 1200, 615, 375, 29},
      {controls::Lm3, K::Label, "m3", 1680, 1200, 495, 375, 13},
      {controls::Tm3, K::TextBox, parameterField(controls::Tm3).defaultText, 2400, 1200, 615, 375, 12},
      {controls::Ldispmax, K::Label, "disp max", 3120, 1200, 615, 375, 23},
      {controls::Tdispmax, K::TextBox, parameterField(controls::Tdispmax).defaultText, 3840, 1200, 495, 375,
       22},
      {controls::Ldist01, K::Label, "dist 1,2", 240, 1680, 615, 375, 17},
      {controls::Tdist01min, K::TextBox, "200", 960, 1680, 615, 375, 31},
      {controls::Tdist01, K::TextBox, "200", 1680, 1680, 615, 375, 16},
      {controls::Tdist01max, K::TextBox, "200", 2400, 1680, 615, 375, 32},
      {controls::Lvesc, K::Label, "v escape", 120, 2160, 735, 375, 8},
      {controls::Tvesc, K::TextBox, "0", 960, 2160, 615, 375, 9},
      {controls::Lv3, K::Label, "v3", 1800, 2160, 495, 375, 6},
      {controls::Tv3, K::TextBox, "0", 2400, 2160, 615, 375, 7},
      {controls::Label1, K::Label, "v3 max", 3120, 2160, 615, 375, 38},
      {controls::Tv3max, K::TextBox, "0", 3720, 2160, 615, 375, 37},
      {controls::Lr1, K::Label, "r1", 360, 2640, 375, 375, 34},
      {controls::Tr1, K::TextBox, "0", 960, 2640, 615, 375, 33},
      {controls::Lr2, K::Label, "r2", 1800, 2640, 375, 375, 36},
      {controls::Tr2, K::TextBox, "0", 2400, 2640, 615, 375, 35},
      {controls::Lr3, K::Label, "r3", 3240, 2640, 375, 375, 4},
      {controls::Tr3, K::TextBox, "0", 3720, 2640, 615, 375, 5},
      {controls::Lcycle, K::Label, "Lcycle", 240, 3120, 615, 375, 2},
      {controls::Tcycle, K::TextBox, "0", 960, 3120, 855, 375, 3},
      {controls::Lphi, K::Label, "Phi", 1920, 3120, 375, 375, 28},
      {controls::Tphi, K::TextBox, "0", 2400, 3120, 615, 375, 26},
      {controls::Lrev, K::Label, "revolution", 3120, 3120, 735, 375, 27},
      {controls::Trev, K::TextBox, "0", 3960, 3120, 375, 375, 25},
      {controls::LMesg, K::Label, "", 1320, 3600, 1695, 375, 24},
  };
  return controls;
}

} // namespace tb
