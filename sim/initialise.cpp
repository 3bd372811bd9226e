// Start configuration of a test, in this order:
//   1. the parameter fields read (tdelta, init v3, m2, m3) and the test's counters reset
//   2. the pair on circular orbits about its centre of mass (COORD)
//   3. the pair turned by the test angle
//   4. the third body, body 2, far out on the x axis moving towards the pair
//   5. the start values kept, and the plot's world window from disp max
#include "runtime/controls.h"
#include "runtime/cr_math.h"
#include "runtime/numeric.h"
#include "runtime/parameters.h"
#include "sim/experiment.h"
#include "sim/faults.h"

#include <cmath>

namespace tb {

double Experiment::readField(const char* control) {
  std::string text = forms_.text(control);
  auto v = ValChecked(text);
  if (!v) throw ArithmeticFault(faults::tooLarge(parameterField(control).label, text));
  return *v;
}

void Experiment::INITIALISE() {
  s_.gconst = 1;
  s_.nstars = 3;
  forms_.setCaption(controls::LMesg, "");
  s_.tdelta = readField(controls::Ttdelta);
  if (s_.tdelta < 0) throw ArithmeticFault(faults::negativeTimeStep(s_.tdelta));
  if (s_.tdelta == 0) throw ArithmeticFault(faults::zeroTimeStep());
  double initv2 = readField(controls::Tinitv2);
  s_.initv2 = static_cast<float>(initv2);
  if (std::isinf(s_.initv2))
    throw ArithmeticFault(faults::tooLarge("init v3", forms_.text(controls::Tinitv2)));
  s_.showevery = 100;
  s_.dir3 = 1;
  s_.rev = 0;
  s_.pendcode = EndCode::None;
  s_.endcode = EndCode::None;
  forms_.setText(controls::Trev, Str(0));
  s_.pairsep = 200;
  s_.r3start = 500;
  s_.mass[0] = 1000;
  s_.mass[1] = readField(controls::Tm2);
  s_.mass[2] = readField(controls::Tm3);
  // nstars is still the number of bodies here: bodies 0 to nstars - 1.
  for (int i = 0; i <= s_.nstars - 1; ++i) {
    s_.xpos[i] = 0;
    s_.ypos[i] = 0;
    s_.vx[i] = 0;
    s_.vy[i] = 0;
  }

  // The reference direction is single precision; 360 or more is reduced once.
  s_.alphadeg = static_cast<float>(s_.alpha);
  if (std::isinf(s_.alphadeg)) throw ArithmeticFault(faults::angleTooLarge(s_.alpha));
  if (s_.alphadeg >= 360) s_.alphadeg = s_.alphadeg - 360.0f;
  s_.revref = revolutionReference(s_.alphadeg);

  COORD(s_.mass[0], s_.mass[1], s_.pairsep, s_.xpos[0], s_.xpos[1], s_.vy[0], s_.vy[1]);
  s_.alpharad = static_cast<double>(s_.alphadeg) * s_.pi / 180;
  turnPair();
  launchThirdBody();

  keepStartValues();
}

// The start values the steps are rebuilt from, and the plot's world window.
void Experiment::keepStartValues() {
  ANGLE(s_.phi);
  s_.phiold = s_.phi;
  for (int i = 0; i <= s_.nstars - 1; ++i) {
    s_.xstart[i] = s_.xpos[i];
    s_.ystart[i] = s_.ypos[i];
    s_.vxstart[i] = s_.vx[i];
    s_.vystart[i] = s_.vy[i];
  }

  s_.plot.xmax = readField(controls::Tdispmax);
  s_.plot.xmin = -s_.plot.xmax;
  s_.plot.ymax = s_.plot.xmax;
  s_.plot.ymin = -s_.plot.xmax;
  if (trueProportions && s_.plot.xpixels > 0) {
    s_.plot.ymax = s_.plot.xmax * s_.plot.ypixels / s_.plot.xpixels;
    s_.plot.ymin = -s_.plot.ymax;
  }
  s_.approached = 0;
}

// Turns the pair by alpharad, keeping the sizes COORD gave it.
void Experiment::turnPair() {
  const double a = s_.alpharad;
  const double pi = s_.pi;
  // The pair's bodies stand half a turn apart, a and a + pi. At a huge angle
  // the sum rounds that half turn away and both start at one point: the angle
  // is the cause, not the masses or the step that would divide by zero later.
  if (std::fabs(((a + pi) - a) - pi) > 1e-6) throw ArithmeticFault(faults::angleLosesPrecision(s_.alpha));
  double p = std::fabs(s_.xpos[1]);
  double sp = std::fabs(s_.vy[1]);
  s_.xpos[1] = p * cr::cos(a);
  s_.ypos[1] = p * cr::sin(a);
  s_.vx[1] = sp * cr::cos(a + pi / 2);
  s_.vy[1] = sp * cr::sin(a + pi / 2);
  p = std::fabs(s_.xpos[0]);
  sp = std::fabs(s_.vy[0]);
  s_.xpos[0] = p * cr::cos(a + pi);
  s_.ypos[0] = p * cr::sin(a + pi);
  s_.vx[0] = sp * cr::cos(a + 1.5 * pi);
  s_.vy[0] = sp * cr::sin(a + 1.5 * pi);
}

// Body 2 at r3start moving towards the pair at initv2 times its escape speed,
// taken with the x distances only. -dir3 * initv2 is single precision.
void Experiment::launchThirdBody() {
  s_.xpos[2] = s_.r3start;
  double d0 = s_.xpos[2] - s_.xpos[0];
  double d1 = s_.xpos[2] - s_.xpos[1];
  if (d0 == 0 || d1 == 0) throw ArithmeticFault(faults::thirdBodyOnPair(s_.mass[1], s_.alpha));
  double escArg = 2 * s_.gconst * (s_.mass[0] / d0 + s_.mass[1] / d1);
  if (!(escArg >= 0)) throw ArithmeticFault(faults::negativeEscapeSpeed(s_.mass[1], s_.mass[2]));
  float scale = static_cast<float>(-s_.dir3) * s_.initv2;
  s_.vx[2] = static_cast<double>(scale) * std::sqrt(escArg);
  if (!std::isfinite(s_.vx[2])) throw ArithmeticFault(faults::overflowAtStart());
}

void Experiment::COORD(double m0, double m1, double d, double& x0, double& x1, double& vy0, double& vy1) {
  const double G = s_.gconst;
  double M = m0 + m1;
  if (M == 0) throw ArithmeticFault(faults::zeroPairMass(m1));
  double r0 = d * m1 / M;
  double r1 = d - r0;
  // A mass so large that the distances overflow is an overflow, not a
  // negative orbit speed (d - inf is -inf).
  if (!std::isfinite(r0) || !std::isfinite(r1)) throw ArithmeticFault(faults::overflowAtStart());
  double k0 = G * r0 * m1;
  double k1 = G * r1 * m0;
  if (!(k0 >= 0 && k1 >= 0)) throw ArithmeticFault(faults::negativeOrbitSpeed(m1));
  double v0 = std::sqrt(k0) / d;
  double v1 = std::sqrt(k1) / d;
  if (!std::isfinite(r0) || !std::isfinite(r1) || !std::isfinite(v0) || !std::isfinite(v1))
    throw ArithmeticFault(faults::overflowAtStart());
  x1 = x0;
  vy1 = vy0;
  x0 = x0 - r0;
  x1 = x1 + r1;
  vy0 = vy0 - v0;
  vy1 = vy1 + v1;
}

void Experiment::ANGLE(double& phi) {
  phi = angleOf(s_.xpos[1] - s_.xpos[0], s_.ypos[1] - s_.ypos[0], s_.pi);
}

double revolutionReference(float alphadeg) {
  const double ref = static_cast<double>(alphadeg);
  if (!(ref < 0)) return ref;
  // A negative angle turns the pair to the direction ref + 360 k. ANGLE gives
  // directions from 0 to 360 only, so a negative reference would never be
  // passed and a test without a collision would never end: the count
  // compares with the same direction in [0, 360) instead (fmod is exact; a
  // sum that rounds up to 360 is the direction 0).
  double r = std::fmod(ref, 360.0);
  if (r < 0) r = r + 360;
  return r >= 360 ? 0 : r;
}

double angleOf(double dx, double dy, double pi) {
  if (dx == 0) {
    // Straight above or below: the directions the other cases approach.
    return dy > 0 ? 90 : (dy < 0 ? 270 : 0);
  }
  double a = cr::atan(dy / dx);
  if (dx < 0) {
    a = a + pi;
  } else if (dy < 0) {
    a = a + 2 * pi;
  }
  return a * 180 / pi;
}

} // namespace tb
