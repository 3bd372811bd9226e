// Every test of the last series in one table: the columns of "Save results",
// the end code in words, sortable by any column. A click on a row shows that
// test's picture in the display form, as a click on its result line does.
#pragma once

#include "reference/reference.h"
#include "sim/experiment.h"

#include <QTableWidget>
#include <QWidget>

#include <cstddef>
#include <functional>

namespace tb {

class ResultsTable : public QWidget {
public:
  ResultsTable();
  // Empties the table for a new series.
  void clear();
  // Adds the test that just finished; `index` counts the tests of the series from 0.
  void addTest(size_t index, const TestReport& report);
  // The reference's verdict on test `index`: the verify columns, added to
  // the table with the first verdict, filled in on its row.
  void setVerdict(size_t index, const VerifiedTest& v);
  // The row clicked: the test's index in the series.
  std::function<void(size_t test)> onPick;
  QTableWidget* table() const { return table_; }
  // The selected rows in the order shown, as tab-separated text with the
  // header row (what Ctrl+C copies).
  QString selectedText() const;
  // The column whose header is `name`; -1 if none is.
  int column(const QString& name) const;

private:
  QTableWidget* table_;
};

} // namespace tb
