// The messages of arithmetic faults that end a series, each saying what to change.
#include "sim/faults.h"

#include "runtime/numeric.h"

namespace tb::faults {

namespace {
std::string num(double v) { return std::string(LTrim(Str(v))); }
std::string clip(const std::string& s) { return printableText(s, 40); }
} // namespace

std::string tooLarge(const std::string& label, const std::string& text) {
  return "The text in " + label + " (\"" + clip(text) +
         "\") is a number too large to compute with. Type a smaller value into " + label + ".";
}

std::string angleTooLarge(double alpha) {
  return "The angle alpha " + num(alpha) +
         " is too large for the revolution count. Type a start and end angle below 10^38.";
}

std::string angleLosesPrecision(double alpha) {
  return "The angle alpha " + num(alpha) +
         " is too large to turn the pair by: at that size its cosine and sine lose all precision, and "
         "both bodies of the pair start at the same point. Type a start and end angle between 0 and 360.";
}

std::string zeroTimeStep() {
  return "tdelta reads as 0: with no time step the bodies never move and the test can never end. Type a "
         "positive tdelta, such as 0.001.";
}

std::string negativeTimeStep(double tdelta) {
  return "tdelta = " + num(tdelta) +
         " is negative: the program steps time forwards only, and would count revolutions the motion "
         "never made. Type a positive tdelta, such as 0.001.";
}

std::string zeroPairMass(double m2) {
  return "m2 = " + num(m2) +
         " gives the pair a total mass of 0 (the first body's mass is fixed at 1000), so its "
         "centre of mass is undefined (division by zero). Change m2.";
}

std::string negativeOrbitSpeed(double m2) {
  return "m2 = " + num(m2) +
         " leaves the pair no circular orbit: its orbital speed would be the square root of a "
         "negative number. Change m2 to a value above -1000.";
}

std::string thirdBodyOnPair(double m2, double alpha) {
  return "With m2 = " + num(m2) + " at alpha " + num(alpha) +
         " a body of the pair starts on the third body's start point (500, 0), so its escape "
         "speed divides by zero. Change m2 or the angles.";
}

std::string negativeEscapeSpeed(double m2, double m3) {
  return "With m2 = " + num(m2) + " and m3 = " + num(m3) +
         " the third body's escape speed would be the square root of a negative number. "
         "Change m2 to a positive value.";
}

std::string overflowAtStart() {
  return "The start configuration overflows the number range. Use smaller values for m2 and m3.";
}

std::string zeroPlotWindow(double dispmax) {
  return "disp max = " + num(dispmax) +
         " gives the plot a window of no width (division by zero). Type a disp max other than "
         "0, such as 500.";
}

std::string bodiesCoincide(int i, int j, int64_t nstep, double alpha) {
  return "Bodies " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
         " are at the same point at step " + std::to_string(nstep) + " of the test at alpha " + num(alpha) +
         ", so their attraction divides by zero. Change m2, m3 or tdelta.";
}

std::string overflowInStep(const char* stage, int64_t nstep, double alpha, double tdelta) {
  std::string when = nstep > 0 ? " at step " + std::to_string(nstep) + " of" : std::string(" in");
  return std::string("The ") + stage + " overflowed the number range" + when + " the test at alpha " +
         num(alpha) + " (tdelta = " + num(tdelta) + "). Use a smaller tdelta, or smaller masses m2 and m3.";
}

std::string zeroPairMassAfterMerge(double m1, double m2) {
  return "After the collision the pair's masses " + num(m1) + " and " + num(m2) +
         " add up to 0, so its centre of mass is undefined. Change m2 or m3.";
}

} // namespace tb::faults
