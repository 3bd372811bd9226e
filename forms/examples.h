// Experiments worth showing a class, each with what to watch. Each is one
// test (start and end angle the same) at the default time step, and its
// outcome was checked with the reference integration: confirmed, or fragile
// where that is the point.
#pragma once

#include "runtime/parameters.h"
#include "sim/end_rules.h"

#include <span>

namespace tb {

struct Example {
  const char* name;  // as the menu shows it
  const char* watch; // what to watch, one sentence
  const char *alpha, *initv3, *m2, *m3;
  EndCode end;  // how the test ends
  bool fragile; // the reference calls the outcome fragile: it lies on a chaotic boundary
};

std::span<const Example> examples();

// The control form's fields for an example: its own values, the defaults for the rest.
FieldTexts exampleFields(const Example& e);

} // namespace tb
