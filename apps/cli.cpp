// What the tools' command lines share: the parameter options, help layout and parsing.
#include "apps/cli.h"

#include "results/atomic_file.h"

#include "forms/design.h"
#include "runtime/numeric.h"
#include "sim/lanes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tb {

namespace {
constexpr size_t kHelpColumn = 24;
constexpr size_t kHelpWidth = 80;
} // namespace

std::string wrapHelp(const std::string& text) {
  const size_t width = kHelpWidth - kHelpColumn;
  std::string out, line;
  auto flush = [&] {
    out += (out.empty() ? "" : "\n") + line;
    line.clear();
  };
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\n') {
      flush();
      ++i;
      continue;
    }
    size_t end = text.find_first_of(" \n", i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    if (!line.empty() && line.size() + 1 + word.size() > width) flush();
    line += (line.empty() ? "" : " ") + word;
    i = end < text.size() && text[end] == ' ' ? end + 1 : end;
  }
  if (!line.empty()) flush();
  return out;
}

void formatHelp(CLI::App& app) { app.get_formatter()->column_width(kHelpColumn); }

void addLanesOption(CLI::App& app, int& lanes, const std::string& group) {
  std::string widths;
  for (int w : LaneEngine::laneCounts())
    widths += ", " + std::to_string(w);
  app.add_option("--lanes", lanes,
                 wrapHelp("tests side by side on each thread, one per vector lane: 1 (one test at a time)" +
                          widths +
                          " (default: the widest vectors, with as many in flight as step fastest on this "
                          "processor); the output is the same"))
      ->type_name("N")
      ->group(group)
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            int n = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec == std::errc() && end == text.data() + text.size()) {
              if (n == 1) return "";
              for (int w : LaneEngine::laneCounts())
                if (n == w) return "";
            }
            std::string allowed = "1";
            for (int w : LaneEngine::laneCounts())
              allowed += ", " + std::to_string(w);
            return "must be one of " + allowed + " on this processor";
          },
          "", ""));
}

void addParameterOptions(CLI::App& app, FieldTexts& fields) {
  for (const auto& f : parameterFields()) {
    auto slot =
        std::find_if(fields.begin(), fields.end(), [&](const auto& p) { return p.first == f.control; });
    std::string option = f.option;
    std::string what = std::string(f.what) + " (default \"" + f.defaultText + "\")";
    app.add_option(option, slot->second, wrapHelp(what))
        ->type_name("TEXT")
        ->group("Parameters (each takes the text you would type into the control form)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(
            CLI::Validator([option](std::string& text) { return parameterTextError(option, text); }, "", ""));
  }
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  // A path that is not there yet, or a link to one: where writing it would
  // put the file, links followed (a dangling link too).
  auto target = [](const std::string& path, std::error_code& e) {
    namespace fs = std::filesystem;
    fs::path p = fs::absolute(path, e);
    for (int k = 0; k < 40 && !e && fs::is_symlink(fs::symlink_status(p, e)); ++k) {
      const fs::path to = fs::read_symlink(p, e);
      p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return fs::weakly_canonical(p, e);
  };
  std::error_code ea, eb;
  auto ca = target(a, ea);
  auto cb = target(b, eb);
  return !ea && !eb && ca == cb;
}

bool isStandardOutput(const std::string& path) {
  struct stat out {
  }, file{};
  // Only a regular file: a terminal or /dev/null may well be both.
  return fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) && stat(path.c_str(), &file) == 0 &&
         out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

std::string outputFileProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? printableText(path) + " is a folder; give the path of a file" : "";
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return "there is no folder " + printableText(folder) + " for " + printableText(path) +
           "; create it or give another path";
  if (std::string e = AtomicFile::probe(path); !e.empty())
    return printableText(e, 300) + "; give a path in a folder you can write to";
  return "";
}

std::string parseArgs(CLI::App& app, std::vector<std::string> args, bool& help, bool keepSingleDash,
                      std::vector<std::string>* rest) {
  // A switch given a value (--check=no) is refused rather than read as on
  // or off: on/off options take no value at all.
  for (const auto& arg : args) {
    auto eq = arg.find('=');
    if (arg.rfind("--", 0) != 0 || eq == std::string::npos) continue;
    std::string name = arg.substr(0, eq);
    for (const CLI::Option* o : app.get_options())
      if (o->get_expected_max() == 0 && o->check_name(name))
        return "option " + name + " takes no value (\"" + printableText(arg.substr(eq + 1)) +
               "\" was given); write " + name + " alone, or leave it out";
  }
  // A word of one dash and several letters ("-verify", "-hverify") would be
  // read as short options run together ("-h" and then help); it is refused
  // by name, with the two-dash option it was likely meant as. The value of
  // an option that takes one may begin with a dash ("--m2 -999").
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (k > 0 && args[k - 1].rfind("--", 0) == 0 && args[k - 1].find('=') == std::string::npos) {
      const CLI::Option* before = app.get_option_no_throw(args[k - 1]);
      if (before && before->get_expected_max() != 0) continue;
    }
    if (keepSingleDash || arg.size() < 3 || arg[0] != '-' ||
        !std::isalpha(static_cast<unsigned char>(arg[1])))
      continue;
    const std::string meant = "-" + arg.substr(0, arg.find('='));
    const CLI::Option* o = app.get_option_no_throw(meant);
    return "unknown option \"" + printableText(arg) + "\"" +
           (o ? "; options begin with two dashes: " + printableText(meant) : std::string()) + "; see --help";
  }
  app.allow_extras();
  std::reverse(args.begin(), args.end()); // CLI11 takes its arguments last first
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    help = true;
    return "";
  } catch (const CLI::ParseError& e) {
    std::string what = e.what();
    if (what.find("required") != std::string::npos && what.find("missing") != std::string::npos)
      return "option " + what.substr(0, what.find(':')) + " needs a value; see --help";
    // The message names the option, then says what is wrong with its text.
    auto colon = what.find(": ");
    return colon == std::string::npos ? printableText(what, 200)
                                      : "option " + what.substr(0, colon) + ": " + what.substr(colon + 2);
  }
  for (const auto& extra : app.remaining()) {
    if (keepSingleDash && extra.rfind("--", 0) != 0) {
      if (rest) rest->push_back(extra);
      continue;
    }
    if (extra.rfind("-", 0) == 0 && extra.rfind("--", 0) != 0)
      for (const CLI::Option* o : app.get_options())
        if (o->check_name("-" + extra.substr(0, extra.find('='))))
          return "unknown option \"" + printableText(extra) + "\"; options begin with two dashes: -" +
                 printableText(extra) + "; see --help";
    return (extra.rfind("-", 0) == 0 ? "unknown option \"" : "unexpected word \"") + printableText(extra) +
           "\"; see --help";
  }
  return "";
}

} // namespace tb
