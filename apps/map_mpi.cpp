// The map over MPI ranks: each rank computes its rows, rank 0 writes them all in order.
#include "apps/map_mpi.h"

#include "api/bridge.h"
#include "apps/batch_run.h"

#include <mpi.h>

#include <limits>
#include <optional>
#include <ostream>

namespace tb {

namespace {

constexpr int kRowTag = 1;
constexpr int kRowsPerBlock = 2; // rows a rank takes in a row before the next rank's turn
constexpr size_t kQuit = std::numeric_limits<size_t>::max();

std::string serialise(const PointRow& r) {
  return std::to_string(r.outcome.slot()) + "\n" + std::to_string(r.steps) + "\n" +
         std::to_string(static_cast<int>(r.mark)) + "\n" +
         std::to_string(r.verdict ? static_cast<int>(*r.verdict) : -1) + "\n" + std::to_string(r.csv.size()) +
         "\n" + std::to_string(r.text.size()) + "\n" + r.csv + r.text + r.json;
}

PointRow deserialise(const std::string& s) {
  PointRow r;
  size_t pos = 0;
  auto number = [&]() {
    size_t nl = s.find('\n', pos);
    long long v = std::stoll(s.substr(pos, nl - pos));
    pos = nl + 1;
    return v;
  };
  r.outcome = MapOutcome::fromSlot(static_cast<int>(number()));
  r.steps = number();
  r.mark = static_cast<MapMark>(number());
  if (long long v = number(); v >= 0) r.verdict = static_cast<Verification>(v);
  size_t csvLength = static_cast<size_t>(number()), textLength = static_cast<size_t>(number());
  r.csv = s.substr(pos, csvLength);
  r.text = s.substr(pos + csvLength, textLength);
  r.json = s.substr(pos + csvLength + textLength);
  return r;
}

void sendRow(const PointRow& row) {
  std::string s = serialise(row);
  MPI_Send(s.data(), static_cast<int>(s.size()), MPI_CHAR, 0, kRowTag, MPI_COMM_WORLD);
}

PointRow receiveRow(int from) {
  MPI_Status status;
  MPI_Probe(from, kRowTag, MPI_COMM_WORLD, &status);
  int size = 0;
  MPI_Get_count(&status, MPI_CHAR, &size);
  std::string s(static_cast<size_t>(size), '\0');
  MPI_Recv(s.data(), size, MPI_CHAR, from, kRowTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return deserialise(s);
}

// The points of `rank` from `first` on, in point order: whole rows of the
// map (the first perhaps begun already), held as their row numbers only.
class RankPoints {
public:
  RankPoints(const MapOptions& o, int rank, int ranks, size_t first) : columns_(o.x.values.size()) {
    const size_t rows = o.y.values.size();
    for (size_t j = first / columns_; j < rows; ++j)
      if (rowOwner(j, ranks) == rank) rows_.push_back(j);
    skip_ = !rows_.empty() && rows_[0] == first / columns_ ? first % columns_ : 0;
  }
  size_t count() const { return rows_.size() * columns_ - skip_; }
  size_t operator()(size_t e) const {
    size_t k = e + skip_;
    return rows_[k / columns_] * columns_ + k % columns_;
  }

private:
  size_t columns_;
  std::vector<size_t> rows_;
  size_t skip_ = 0; // points of the first row done already
};

} // namespace

int rowOwner(size_t j, int ranks) {
  return static_cast<int>((j / kRowsPerBlock) % static_cast<size_t>(ranks));
}

int runMapDistributed(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress) {
  int rank = 0, ranks = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  const size_t columns = o.x.values.size(), total = columns * o.y.values.size();

  if (rank != 0) {
    // Where to start comes from rank 0, once it has read a resumed file.
    unsigned long long first = 0;
    MPI_Bcast(&first, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    if (first == kQuit) return kExitDone;
    RankPoints mine(o, rank, ranks, static_cast<size_t>(first));
    const std::unique_ptr<threebody::MapJob> job = startMapJob(o, mine.count(), mine);
    size_t sent = 0;
    for (std::optional<threebody::MapPoint> p; (p = job->next()); ++sent)
      sendRow(threebody::pointRow(*p));
    if (sent < mine.count()) {
      // Rank 0 is told that this rank stopped before its next point.
      PointRow stopped;
      stopped.outcome = MapOutcome::dropped();
      sendRow(stopped);
      return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
    }
    return kExitDone;
  }

  bool started = false;
  RowSource gather = [&](size_t first, const std::function<bool(size_t, PointRow&)>& write) {
    unsigned long long f = first;
    MPI_Bcast(&f, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    started = true;
    // Rank 0's own points are computed on its worker threads while this
    // loop, which alone talks to the other ranks, gathers every row in order.
    RankPoints mine(o, 0, ranks, first);
    const std::unique_ptr<threebody::MapJob> local = startMapJob(o, mine.count(), mine);
    size_t k = first;
    for (; k < total; ++k) {
      int owner = rowOwner(k / columns, ranks);
      std::optional<PointRow> row;
      if (owner != 0)
        row = receiveRow(owner);
      else if (std::optional<threebody::MapPoint> p = local->next())
        row = threebody::pointRow(*p);
      if (!row || row->outcome == MapOutcome::dropped() || !write(k, *row)) break;
    }
    return k;
  };
  int status = runMap(o, out, err, progress, gather);
  if (!started) {
    // A file that cannot be resumed, say: the other ranks have nothing to do.
    unsigned long long quit = kQuit;
    MPI_Bcast(&quit, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
  } else if (status != kExitDone) {
    // Stopped part-way: every row written is in the file; the other ranks
    // may still be computing points nobody will write.
    out.flush();
    err.flush();
    MPI_Abort(MPI_COMM_WORLD, status);
  }
  return status;
}

} // namespace tb
