// The names of the control form's controls, each written once. The logic
// reaches controls by these names through the forms runtime; the design
// table (forms/design.cpp) gives each its kind, text and place. A name that
// is not here does not compile, and a runtime asked for a control it does not
// have fails loudly.
#pragma once

namespace tb::controls {

inline constexpr const char CommandStart[] = "CommandStart";
inline constexpr const char CommandEnd[] = "CommandEnd";
inline constexpr const char Ltdelta[] = "Ltdelta";
inline constexpr const char Ttdelta[] = "Ttdelta";
inline constexpr const char Lalpha[] = "Lalpha";
inline constexpr const char Talphastr[] = "Talphastr";
inline constexpr const char Talpha[] = "Talpha";
inline constexpr const char Talphaend[] = "Talphaend";
inline constexpr const char Linitv2[] = "Linitv2";
inline constexpr const char Tinitv2[] = "Tinitv2";
inline constexpr const char Lm2[] = "Lm2";
inline constexpr const char Tm2[] = "Tm2";
inline constexpr const char Lm3[] = "Lm3";
inline constexpr const char Tm3[] = "Tm3";
inline constexpr const char Ldispmax[] = "Ldispmax";
inline constexpr const char Tdispmax[] = "Tdispmax";
inline constexpr const char Ldist01[] = "Ldist01";
inline constexpr const char Tdist01min[] = "Tdist01min";
inline constexpr const char Tdist01[] = "Tdist01";
inline constexpr const char Tdist01max[] = "Tdist01max";
inline constexpr const char Lvesc[] = "Lvesc";
inline constexpr const char Tvesc[] = "Tvesc";
inline constexpr const char Lv3[] = "Lv3";
inline constexpr const char Tv3[] = "Tv3";
inline constexpr const char Label1[] = "Label1";
inline constexpr const char Tv3max[] = "Tv3max";
inline constexpr const char Lr1[] = "Lr1";
inline constexpr const char Tr1[] = "Tr1";
inline constexpr const char Lr2[] = "Lr2";
inline constexpr const char Tr2[] = "Tr2";
inline constexpr const char Lr3[] = "Lr3";
inline constexpr const char Tr3[] = "Tr3";
inline constexpr const char Lcycle[] = "Lcycle";
inline constexpr const char Tcycle[] = "Tcycle";
inline constexpr const char Lphi[] = "Lphi";
inline constexpr const char Tphi[] = "Tphi";
inline constexpr const char Lrev[] = "Lrev";
inline constexpr const char Trev[] = "Trev";
inline constexpr const char LMesg[] = "LMesg";

} // namespace tb::controls
