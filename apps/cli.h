// What the command lines of the tools share: the seven parameter options with
// the control form's number grammar, help text wrapped to 80 columns, and
// parsing that turns every usage error into one message (exit status 2).
#pragma once

#include "runtime/parameters.h"

#include <CLI/CLI.hpp>

#include <string>
#include <utility>
#include <vector>

namespace tb {

// Adds the seven parameter options to `app` in the group "Parameters"; each
// writes its text into `fields`, which must hold the seven entries and stay
// where it is while `app` is used.
void addParameterOptions(CLI::App& app, FieldTexts& fields);

// A description broken into lines that fit the help's right-hand column.
std::string wrapHelp(const std::string& text);

// Sets the help layout the tools share: 80 columns, descriptions from 24.
void formatHelp(CLI::App& app);

// Adds --lanes N: tests side by side on each thread, 1 (the one-at-a-time
// engine) or a vector width this processor has; `lanes` stays 0 (the widest)
// unless it is given.
void addLanesOption(CLI::App& app, int& lanes, const std::string& group);

// Whether two paths name one file, however they are spelled (through links,
// "." and "..", or hard links to an existing file).
bool sameFile(const std::string& a, const std::string& b);
// Whether the path names the file this process's stdout goes to.
bool isStandardOutput(const std::string& path);
// What keeps an output file from being written at `path`, found before any
// work is done: a folder there, or no folder to put it in. Empty if none.
std::string outputFileProblem(const std::string& path);

// Parses `args` (without the program's name). Returns an empty string, or
// what is wrong; --help sets `help`. Unknown options that start with "--"
// are errors; with `keepSingleDash`, single-dash ones (the window toolkit's
// own, such as -platform) are left in `rest`.
std::string parseArgs(CLI::App& app, std::vector<std::string> args, bool& help, bool keepSingleDash = false,
                      std::vector<std::string>* rest = nullptr);

} // namespace tb
