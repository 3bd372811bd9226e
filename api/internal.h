// What the library's parts share: the experiment as the engine's field
// texts, and a finished test as the API gives it.
#pragma once

#include "results/export.h"
#include "runtime/parameters.h"
#include <threebody/threebody.h>

#include <thread>

namespace threebody {

// The experiment's texts by the control form's field names.
tb::FieldTexts fieldTexts(const Experiment& e);
// Where the experiment keeps the text of a field.
std::string* textOf(Experiment& e, const char* control);
// Throws Error with the tools' message for a parameter text that is not a number.
void checkTexts(const Experiment& e);
// A finished test as the API gives it.
TestResult testResult(const tb::ExportedTest& t);
// Worker threads: `threads`, or one per core for 0; Error for a negative
// count or one beyond 1024.
unsigned threadsFor(int threads);

} // namespace threebody
