// The Experiment's members are defined by stage: initialise.cpp, startup.cpp,
// loop.cpp, display_step.cpp and driver.cpp.
#include "sim/experiment.h"
