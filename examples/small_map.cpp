// A small outcome map printed as text: how the tests end over the start
// angle alpha (across) and the third body's start speed (down).
#include <threebody/threebody.h>

#include <cstdio>
#include <string>
#include <vector>

int main() {
  threebody::Experiment experiment;
  experiment.set("tdelta", "0.01");
  threebody::MapOptions map;
  map.x = {"alpha", 0, 350, 36};
  map.y = {"init-v3", 0.5, 1.5, 11};
  // One letter a point: c collision, e escaped, f far but bound, t ten revolutions.
  std::vector<std::string> rows(static_cast<size_t>(map.y.points),
                                std::string(static_cast<size_t>(map.x.points), '.'));
  try {
    const threebody::MapSummary summary =
        threebody::runMap(experiment, map, [&](const threebody::MapPoint& p) {
          rows[p.j][p.i] = p.outcome.empty() ? '?' : p.outcome[0];
        });
    for (size_t j = rows.size(); j-- > 0;)
      std::printf("init v3 %4.2f  %s\n",
                  map.y.from + (map.y.to - map.y.from) * static_cast<double>(j) / (map.y.points - 1),
                  rows[j].c_str());
    std::printf("threebody %s: %zu points", threebody::version(), summary.done);
    for (const auto& [outcome, count] : summary.outcomes)
      if (count > 0) std::printf(", %lld %s", static_cast<long long>(count), outcome.c_str());
    if (summary.basin_entropy) std::printf("; basin entropy %.3f", *summary.basin_entropy);
    std::printf("\n");
  } catch (const threebody::Error& e) {
    std::fprintf(stderr, "small_map: %s\n", e.what());
    return 2;
  }
  return 0;
}
