// The results table window: one row a test, numbers sorted as numbers.
#include "forms/qt/results_table.h"

#include "forms/qt/words.h"
#include "maps/map_outcome.h"
#include "results/export.h"
#include "results/schema.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QVBoxLayout>

#include <optional>
#include <variant>

namespace tb {

namespace {

// A cell that sorts by its number where it has one, else by its text.
class Cell : public QTableWidgetItem {
public:
  Cell(const QString& text, std::optional<double> number) : QTableWidgetItem(text) {
    if (number) setData(Qt::UserRole, *number);
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number) setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    const QVariant a = data(Qt::UserRole), b = other.data(Qt::UserRole);
    if (a.isValid() && b.isValid()) return a.toDouble() < b.toDouble();
    if (a.isValid() != b.isValid()) return a.isValid(); // numbers before blanks
    return text() < other.text();
  }
};

std::optional<double> numberOf(const ColumnValue& v) {
  if (const auto* n = std::get_if<int64_t>(&v)) return static_cast<double>(*n);
  if (const auto* f = std::get_if<float>(&v)) return static_cast<double>(*f);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* m = std::get_if<std::optional<double>>(&v)) return *m;
  return std::nullopt;
}

} // namespace

ResultsTable::ResultsTable() : table_(new QTableWidget(this)) {
  setWindowTitle(Words::tr("Results"));
  QStringList headers{Words::tr("test")};
  for (const Column& c : resultColumns()) {
    headers << c.name;
    if (QString(c.name) == "end") headers << Words::tr("end in words");
  }
  table_->setColumnCount(static_cast<int>(headers.size()));
  table_->setHorizontalHeaderLabels(headers);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Ctrl+C copies the selected rows (Ctrl+A selects them all) as
  // tab-separated text with the header row.
  auto* copy = new QAction(Words::tr("Copy rows"), table_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(copy, &QAction::triggered,
                   [this] { QGuiApplication::clipboard()->setText(selectedText()); });
  table_->addAction(copy);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->setSortingEnabled(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(table_);
  QObject::connect(table_, &QTableWidget::cellClicked, [this](int row, int) {
    if (onPick) onPick(table_->item(row, 0)->data(Qt::UserRole).toULongLong() - 1);
  });
  resize(900, 360);
}

QString ResultsTable::selectedText() const {
  QStringList header;
  for (int c = 0; c < table_->columnCount(); ++c)
    header << table_->horizontalHeaderItem(c)->text();
  QString text = header.join('\t') + '\n';
  for (int r = 0; r < table_->rowCount(); ++r) {
    if (!table_->selectionModel()->isRowSelected(r, QModelIndex())) continue;
    QStringList cells;
    for (int c = 0; c < table_->columnCount(); ++c)
      cells << (table_->item(r, c) ? table_->item(r, c)->text() : QString());
    text += cells.join('\t') + '\n';
  }
  return text;
}

void ResultsTable::clear() {
  table_->setRowCount(0);
  // A new series is verified or not anew: the verify columns go until a verdict comes.
  if (const int first = column(kVerifyColumns[0]); first >= 0) table_->setColumnCount(first);
}

void ResultsTable::setVerdict(size_t index, const VerifiedTest& v) {
  int first = column(kVerifyColumns[0]);
  if (first < 0) {
    first = table_->columnCount();
    table_->setColumnCount(first + static_cast<int>(std::size(kVerifyColumns)));
    for (size_t k = 0; k < std::size(kVerifyColumns); ++k)
      table_->setHorizontalHeaderItem(first + static_cast<int>(k), new QTableWidgetItem(kVerifyColumns[k]));
  }
  int row = -1;
  for (int r = 0; r < table_->rowCount() && row < 0; ++r)
    if (table_->item(r, 0)->data(Qt::UserRole).toULongLong() == index + 1) row = r;
  if (row < 0) return;
  const ReferenceOutcome& o = v.reference;
  const ColumnValue values[] = {int64_t{endNumber(o.end)},
                                int64_t{o.revolutions},
                                o.time,
                                std::string(verificationName(v.verdict)),
                                o.closest,
                                o.escapeGap};
  table_->setSortingEnabled(false);
  for (size_t k = 0; k < std::size(values); ++k)
    table_->setItem(row, first + static_cast<int>(k),
                    new Cell(QString::fromStdString(columnText(values[k])), numberOf(values[k])));
  table_->setSortingEnabled(true);
}

int ResultsTable::column(const QString& name) const {
  for (int c = 0; c < table_->columnCount(); ++c)
    if (table_->horizontalHeaderItem(c)->text() == name) return c;
  return -1;
}

void ResultsTable::addTest(size_t index, const TestReport& report) {
  // Rows are added unsorted and sorted again once they are complete.
  table_->setSortingEnabled(false);
  const int row = table_->rowCount();
  table_->insertRow(row);
  int col = 0;
  table_->setItem(row, col++, new Cell(QString::number(index + 1), static_cast<double>(index + 1)));
  for (const Column& c : resultColumns()) {
    const ColumnValue v = c.value(report);
    table_->setItem(row, col++, new Cell(QString::fromStdString(columnText(v)), numberOf(v)));
    if (QString(c.name) == "end")
      table_->setItem(row, col++, new Cell(Words::core(endName(report.end)), std::nullopt));
  }
  // The row's line in words, wherever the pointer rests on it.
  const QString words = QString::fromStdString(lineInWords(report, Words::inLanguage));
  for (int c = 0; c < col; ++c)
    table_->item(row, c)->setToolTip(words);
  table_->setSortingEnabled(true);
  // The columns fit their texts while the table is short; a long series
  // keeps the widths its first rows gave.
  if (row < 40) table_->resizeColumnsToContents();
}

} // namespace tb
