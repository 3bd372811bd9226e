#include "apps/launch.h"

#include "apps/batch_options.h"
#include "forms/design.h"
#include "runtime/numeric.h"

namespace tb {

std::string readLaunch(const std::vector<std::string>& args, Launch& launch) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i], value;
    bool hasInline = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    auto take = [&]() -> bool {
      if (hasInline) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    bool parameter = false;
    for (const auto& f : parameterFields()) {
      if (arg != f.option) continue;
      parameter = true;
      if (!take()) return "option " + arg + " needs a value; see --help";
      if (std::string e = parameterTextError(arg, value); !e.empty()) return e;
      launch.fields.emplace_back(f.control, value);
    }
    if (parameter) continue;
    if (arg == "--pace") {
      if (!take()) return "option --pace needs a value; see --help";
      auto v = ValChecked(value);
      if (value == "full")
        launch.pace = 0;
      else if (isWholeNumber(value) && v && *v > 0)
        launch.pace = *v;
      else
        return "option --pace: \"" + printableText(value) +
               "\" is not a pace; use full, or simulated time units a second such as 200";
    } else if (arg == "--start") {
      if (hasInline) return "option --start takes no value; write --start alone";
      launch.start = true;
    } else if (arg == "--screenshots" && !hasInline) {
      ++i; // its folder, checked when the pictures are written
    }
  }
  return "";
}

} // namespace tb
