// Messages for the arithmetic faults of a series: what happened, and which
// field of the control form to change. Bodies are numbered from 1 here, as on
// the screen.
#pragma once

#include <cstdint>
#include <string>

namespace tb::faults {

std::string tooLarge(const std::string& label, const std::string& text);
std::string angleTooLarge(double alpha);
std::string angleLosesPrecision(double alpha);
std::string zeroTimeStep();
std::string negativeTimeStep(double tdelta);
std::string zeroPairMass(double m2);
std::string negativeOrbitSpeed(double m2);
std::string thirdBodyOnPair(double m2, double alpha);
std::string negativeEscapeSpeed(double m2, double m3);
std::string overflowAtStart();
std::string zeroPlotWindow(double dispmax);
std::string bodiesCoincide(int i, int j, int64_t nstep, double alpha);
std::string overflowInStep(const char* stage, int64_t nstep, double alpha, double tdelta);
std::string zeroPairMassAfterMerge(double m1, double m2);

} // namespace tb::faults
