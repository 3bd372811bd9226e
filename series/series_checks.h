// The checks of a series' outcomes: whether each test ends the same with
// half the time step (--check), and what a reference integration finds of
// its outcome (--verify).
#pragma once

#include "series/series_run.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace tb {

// Runs the series of `setup` again at half the time step and marks each test
// of `result` the same, differing or unchecked. Returns the half step's
// text, or nothing when the program was ended meanwhile.
std::optional<std::string> runCheck(const SeriesSetup& setup, SeriesResult& result);

// The reference's verdict on a finished test of the series with `fields`; a
// test stopped by the user (end code 0) has no outcome to judge. A change of
// `stop` ends the reference integration, and the test stays unverified.
void verifyTest(const FieldTexts& fields, ExportedTest& t, const std::atomic<int>* stop);

} // namespace tb
