// The map window's axis rows: a field and its range as typed, marked when a
// value is not one, and filled from the axes a map was computed over.
#include "forms/qt/map_window.h"

#include "forms/qt/widgets.h"
#include "forms/qt/words.h"
#include "runtime/numeric.h"

#include <QHBoxLayout>
#include <QLabel>

#include <charconv>
#include <cmath>

namespace tb {

namespace {
// The fields an axis may map.
constexpr const char* kAxisFields[] = {"alpha", "init-v3", "m2", "m3", "tdelta"};
} // namespace

// What is wrong with a value typed into an axis field, in the window's own
// words; empty when nothing is.
QString axisValueProblem(const QString& text, bool count) {
  const std::string t = text.toStdString();
  if (count) {
    int n = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), n);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || n < 1 || n > 100000)
      return Words::tr("\"%1\" is not a number of points: type a whole number from 1 to 100000").arg(text);
    return {};
  }
  const auto v = isWholeNumber(t) ? ValChecked(t) : std::nullopt;
  if (!v || !std::isfinite(*v))
    return Words::tr("\"%1\" is not a number: type one such as 0.5 or 360").arg(text);
  return {};
}

// Marks an axis field as typed: red with the problem as its tooltip, or plain.
void markAxisValue(QLineEdit* e, bool count) {
  const QString problem = axisValueProblem(e->text(), count);
  e->setStyleSheet(problem.isEmpty() ? QString() : kMisreadFieldStyle);
  e->setToolTip(problem.isEmpty() ? (count ? Words::tr("how many points along this axis")
                                           : Words::tr("a value of the axis' field"))
                                  : problem);
}

QWidget* MapWindow::axisRow(const char* name, AxisInput& in) {
  auto* row = new QWidget(this);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->addWidget(new QLabel(Words::tr("%1 axis").arg(name), row));
  in.field = new QComboBox(row);
  for (const char* f : kAxisFields)
    in.field->addItem(f);
  h->addWidget(in.field);
  auto edit = [&](const QString& label, QLineEdit*& e, bool count) {
    h->addWidget(new QLabel(label, row));
    e = new QLineEdit(row);
    e->setMaximumWidth(90);
    h->addWidget(e);
    QObject::connect(e, &QLineEdit::textChanged, [e, count] { markAxisValue(e, count); });
    markAxisValue(e, count);
  };
  edit(Words::tr("from"), in.from, false);
  edit(Words::tr("to"), in.to, false);
  edit(Words::tr("points"), in.count, true);
  h->addStretch(1);
  return row;
}

void MapWindow::setInputs(const MapAxis& a, AxisInput& in) {
  in.field->setCurrentText(QString::fromStdString(a.field));
  in.from->setText(QString::fromStdString(a.texts.front()));
  in.to->setText(QString::fromStdString(a.texts.back()));
  in.count->setText(QString::number(a.values.size()));
}

} // namespace tb
