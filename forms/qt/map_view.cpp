// The outcome map painted to the widget's size, with its axes and legend.
#include "forms/qt/map_view.h"

#include "forms/qt/words.h"
#include "maps/map_order.h"
#include "runtime/cr_math.h"
#include "runtime/parameters.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tb {

namespace {

QColor colourOf(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// An axis value as a tick shows it: the fewest digits that tell ticks apart.
QString tickText(double v) {
  if (std::abs(v) < 1e-12) return "0";
  return QString::number(v, 'g', 6);
}

// The axis's name as the control form calls its field.
QString axisName(const std::string& field) {
  if (field == "init-v3") return "init v3";
  return QString::fromStdString(field);
}

constexpr int kPad = 6;

} // namespace

std::vector<double> roundTicks(double from, double to, double minStep) {
  const double lo = std::min(from, to), hi = std::max(from, to);
  std::vector<double> t;
  if (!(hi > lo) || !(minStep > 0) || !std::isfinite(minStep)) return {lo};
  double p = cr::decadeOf(minStep);
  double step = p;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= minStep) {
      step = m * p;
      break;
    }
  for (double k = std::ceil(lo / step - 1e-9); k * step <= hi * (1 + 1e-12) + 1e-12 && t.size() < 1000; ++k)
    t.push_back(k * step);
  if (t.empty()) t = {lo, hi};
  return t;
}

MapView::MapView(const MapGrid& grid, const std::vector<MapCell>& cells, QWidget* parent)
    : QWidget(parent), grid_(grid), cells_(cells) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

std::span<const MapOutcome> legendOutcomes(const MapGrid& grid) {
  if (grid.integrator == MapIntegrator::Reference) return kPhysicalLegendOutcomes;
  return kLegendOutcomes;
}

namespace {

// The dots a verified or physical map puts on its doubtful cells, as the legend names them.
constexpr std::pair<MapMark, const char*> kMarkLegend[] = {
    {MapMark::Artefact, QT_TRANSLATE_NOOP("Words", "artefact")},
    {MapMark::Fragile, QT_TRANSLATE_NOOP("Words", "fragile or undecided")}};

} // namespace

int MapView::legendWidth() const {
  const QFontMetrics fm(font());
  int w = fm.horizontalAdvance(Words::tr("longer tests darker"));
  for (const MapOutcome& o : legendOutcomes(grid_))
    w = std::max(w, fm.horizontalAdvance(Words::core(o.name())) + 26);
  // Room for the marks' names too, so the map keeps its size when they appear.
  for (const auto& [mark, text] : kMarkLegend)
    w = std::max(w, fm.horizontalAdvance(Words::tr(text)) + 26);
  return w + 2 * kPad;
}

// The cells' area: room for the y ticks on the left, the x ticks and the
// axis name below, the legend on the right.
QRectF MapView::plotRect() const {
  const QFontMetrics fm(font());
  int yLabels = fm.horizontalAdvance(axisName(grid_.y.field));
  for (double v : {grid_.y.values.front(), grid_.y.values.back()})
    yLabels = std::max(yLabels, fm.horizontalAdvance(tickText(v)) + fm.horizontalAdvance("0"));
  const double left = yLabels + 3 * kPad, top = kPad + fm.height() / 2.0;
  const double right = width() - legendWidth() - kPad, bottom = height() - 2 * fm.height() - 2 * kPad;
  return QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));
}

QRectF MapView::cellRect(int i, int j) const {
  const QRectF p = plotRect();
  const double w = p.width() / static_cast<double>(grid_.x.values.size());
  const double h = p.height() / static_cast<double>(grid_.y.values.size());
  const double rowFromTop = static_cast<double>(grid_.y.values.size() - 1 - static_cast<size_t>(j));
  return QRectF(p.left() + i * w, p.top() + rowFromTop * h, w, h);
}

bool MapView::cellAt(QPointF at, int* i, int* j) const {
  const QRectF p = plotRect();
  if (!p.contains(at)) return false;
  const size_t n = grid_.x.values.size(), m = grid_.y.values.size();
  *i = std::clamp(static_cast<int>((at.x() - p.left()) / p.width() * static_cast<double>(n)), 0,
                  static_cast<int>(n) - 1);
  const int fromTop = std::clamp(static_cast<int>((at.y() - p.top()) / p.height() * static_cast<double>(m)),
                                 0, static_cast<int>(m) - 1);
  *j = static_cast<int>(m) - 1 - fromTop;
  return true;
}

void MapView::setOrder(std::shared_ptr<const std::vector<size_t>> order) {
  order_ = std::move(order);
  image_ = QImage(); // the next cellsDone starts a clean image
}

void MapView::cellsDone(size_t done) {
  const size_t n = grid_.x.values.size(), m = grid_.y.values.size();
  done = std::min(done, cells_.size());
  if (image_.width() != static_cast<int>(n) || image_.height() != static_cast<int>(m) || done < done_) {
    image_ = QImage(static_cast<int>(n), static_cast<int>(m), QImage::Format_RGB32);
    image_.fill(colourOf(MapOutcome::notYet().colour()));
    done_ = 0;
    longest_ = 1;
    marks_.clear();
  }
  if (done == done_) return;
  auto cell = [this](size_t e) { return order_ ? (*order_)[e] : e; };
  int64_t longest = longest_;
  for (size_t e = done_; e < done; ++e)
    if (const MapCell& c = cells_[cell(e)]; c.outcome.kind() == MapOutcome::Kind::Ended)
      longest = std::max(longest, c.steps);
  for (size_t e = done_; e < done; ++e)
    if (cells_[cell(e)].mark != MapMark::None) marks_.push_back(cell(e));
  // A longer test than any before shades every cell anew.
  const size_t from = longest != longest_ ? 0 : done_;
  longest_ = longest;
  done_ = done;
  colour(from, done);
  update();
}

// Points `from` to `to` of the order, each over the square of cells around
// it that it stands for until finer points come (those come later in the
// order, so they paint over it, never over a coarser point's own cell).
void MapView::colour(size_t from, size_t to) {
  const size_t n = grid_.x.values.size(), m = grid_.y.values.size();
  for (size_t e = from; e < to; ++e) {
    const size_t k = order_ ? (*order_)[e] : e, i = k % n, j = k / n;
    const MapCell& c = cells_[k];
    const QRgb rgb = colourOf(mapCellColour(c.outcome, c.steps, longest_)).rgb();
    // The square is centred on the point: the finer points inside it are
    // at least half its side from each other's own cell.
    const size_t half = (order_ ? refinementBlock(i, j) : 1) / 2;
    const size_t i0 = i - std::min(i, half), j0 = j - std::min(j, half);
    const size_t i1 = std::min(n, i + std::max<size_t>(half, 1)),
                 j1 = std::min(m, j + std::max<size_t>(half, 1));
    for (size_t jj = j0; jj < j1; ++jj) {
      QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(m - 1 - jj)));
      for (size_t ii = i0; ii < i1; ++ii)
        line[ii] = rgb;
    }
  }
  coloured_ += static_cast<int64_t>(to - from);
}

void MapView::mark(int i, int j) {
  markI_ = i;
  markJ_ = j;
  update();
}

namespace {
// Where value v of an axis lies between the centres of its first and last cells.
double along(const MapAxis& a, double v, double first, double last) {
  const double v0 = a.values.front(), v1 = a.values.back();
  return v1 == v0 ? first : first + (v - v0) / (v1 - v0) * (last - first);
}
} // namespace

std::vector<double> MapView::xTicks() const {
  const QFontMetrics fm(font());
  const QRectF p = plotRect();
  const MapAxis& a = grid_.x;
  const double span = p.width() - p.width() / static_cast<double>(a.values.size());
  int widest = 0;
  for (double v : {a.values.front(), a.values.back()})
    widest = std::max(widest, fm.horizontalAdvance(tickText(v)));
  // Labels at least their width and a gap apart.
  const double range = std::abs(a.values.back() - a.values.front());
  const double perPixel = span > 0 ? range / span : 0;
  return a.values.size() == 1 ? std::vector<double>{a.values.front()}
                              : roundTicks(a.values.front(), a.values.back(), (widest + 12) * perPixel);
}

std::vector<double> MapView::yTicks() const {
  const QFontMetrics fm(font());
  const QRectF p = plotRect();
  const MapAxis& a = grid_.y;
  const double span = p.height() - p.height() / static_cast<double>(a.values.size());
  const double range = std::abs(a.values.back() - a.values.front());
  const double perPixel = span > 0 ? range / span : 0;
  return a.values.size() == 1 ? std::vector<double>{a.values.front()}
                              : roundTicks(a.values.front(), a.values.back(), (fm.height() * 1.5) * perPixel);
}

void MapView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  const QFontMetrics fm(font());
  const QColor ink = palette().color(QPalette::Text);
  const size_t n = grid_.x.values.size(), m = grid_.y.values.size();
  // The cells: the image scaled to whole pixels, without smoothing, so that
  // neighbouring cells meet without seams and keep their colours.
  if (!image_.isNull()) {
    const QRectF r = plotRect();
    const QRect px(
        QPoint(static_cast<int>(std::lround(r.left())), static_cast<int>(std::lround(r.top()))),
        QPoint(static_cast<int>(std::lround(r.right())) - 1, static_cast<int>(std::lround(r.bottom())) - 1));
    p.drawImage(px, image_);
  }
  // Doubtful points of a verified or physical map: a dot in the middle.
  p.setPen(QPen(Qt::black, 1));
  for (size_t k : marks_) {
    const QRectF r = cellRect(static_cast<int>(k % n), static_cast<int>(k / n));
    const double d = std::max(2.0, std::min(r.width(), r.height()) / 3);
    p.setBrush(cells_[k].mark == MapMark::Artefact ? Qt::black : Qt::white);
    p.drawEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
  }
  p.setBrush(Qt::NoBrush);
  const QRectF plot = plotRect();
  p.setPen(ink);
  p.drawRect(plot.adjusted(-0.5, -0.5, 0.5, 0.5));
  // The axes: ticks at round values, never closer than their labels.
  const double x0 = cellRect(0, 0).center().x(), x1 = cellRect(static_cast<int>(n) - 1, 0).center().x();
  const double y0 = cellRect(0, 0).center().y(), y1 = cellRect(0, static_cast<int>(m) - 1).center().y();
  for (double v : xTicks()) {
    const double x = along(grid_.x, v, x0, x1);
    p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
    const QString t = tickText(v);
    p.drawText(QPointF(x - fm.horizontalAdvance(t) / 2.0, plot.bottom() + 5 + fm.ascent()), t);
  }
  const QString xName = axisName(grid_.x.field);
  p.drawText(QPointF(plot.center().x() - fm.horizontalAdvance(xName) / 2.0, height() - kPad - fm.descent()),
             xName);
  for (double v : yTicks()) {
    const double y = along(grid_.y, v, y0, y1);
    p.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
    const QString t = tickText(v);
    p.drawText(QPointF(plot.left() - 6 - fm.horizontalAdvance(t), y + fm.ascent() / 2.0 - 1), t);
  }
  p.save();
  const QString yName = axisName(grid_.y.field);
  p.translate(kPad + fm.ascent(), plot.center().y() + fm.horizontalAdvance(yName) / 2.0);
  p.rotate(-90);
  p.drawText(QPointF(0, 0), yName);
  p.restore();
  // The clicked cell: a frame in black and white, seen on every colour.
  if (markI_ >= 0 && markJ_ >= 0 && static_cast<size_t>(markI_) < n && static_cast<size_t>(markJ_) < m) {
    const QRectF r = cellRect(markI_, markJ_).adjusted(-1.5, -1.5, 1.5, 1.5);
    p.setPen(QPen(Qt::white, 3));
    p.drawRect(r);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(r);
  }
  // The legend: each outcome in full colour and at the shade of the longest test.
  const double lx = width() - legendWidth() + kPad;
  double ly = plot.top();
  p.setPen(ink);
  for (const MapOutcome& o : legendOutcomes(grid_)) {
    const bool shaded = o.kind() == MapOutcome::Kind::Ended;
    for (int k = 0; k < (shaded ? 4 : 1); ++k) {
      const uint32_t c =
          shaded ? mapCellColour(o, static_cast<int64_t>(cr::pow(1e6, k / 3.0)), 1000000) : o.colour();
      p.fillRect(QRectF(lx + k * 5, ly + 2, shaded ? 5 : 20, fm.height() - 4), colourOf(c));
    }
    p.drawText(QPointF(lx + 26, ly + fm.ascent()), Words::core(o.name()));
    ly += fm.height() + 2;
  }
  p.drawText(QPointF(lx, ly + fm.ascent() + 4), Words::tr("longer tests darker"));
  // The dots the map shows, and only those (a physical map has no artefacts).
  auto shows = [this](MapMark mark) {
    return std::any_of(marks_.begin(), marks_.end(), [&](size_t k) { return cells_[k].mark == mark; });
  };
  ly += 2 * (fm.height() + 2);
  for (const auto& [mark, text] : kMarkLegend) {
    if (!shows(mark)) continue;
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(mark == MapMark::Artefact ? Qt::black : Qt::white);
    p.drawEllipse(QRectF(lx + 6, ly + fm.height() / 2.0 - 3, 6, 6));
    p.setBrush(Qt::NoBrush);
    p.setPen(ink);
    p.drawText(QPointF(lx + 26, ly + fm.ascent()), Words::tr(text));
    ly += fm.height() + 2;
  }
  // The rectangle being dragged (to zoom into), or the move (to pan).
  if (dragFrom_) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 3));
    if (panning_)
      p.drawLine(*dragFrom_, dragTo_);
    else
      p.drawRect(QRectF(*dragFrom_, dragTo_).normalized());
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    if (panning_)
      p.drawLine(*dragFrom_, dragTo_);
    else
      p.drawRect(QRectF(*dragFrom_, dragTo_).normalized());
  }
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
  if (dragFrom_) {
    dragTo_ = event->position();
    update();
  }
  int i = -1, j = -1;
  if (!cellAt(event->position(), &i, &j)) i = j = -1;
  if (onHover) onHover(i, j);
}

void MapView::leaveEvent(QEvent*) {
  if (onHover) onHover(-1, -1);
}

QPointF MapView::valuesAt(QPointF at) const {
  const size_t n = grid_.x.values.size(), m = grid_.y.values.size();
  const QPointF first = cellRect(0, 0).center(),
                last = cellRect(static_cast<int>(n) - 1, static_cast<int>(m) - 1).center();
  auto value = [](const MapAxis& a, double p, double p0, double p1) {
    const double v0 = a.values.front(), v1 = a.values.back();
    return p1 == p0 ? v0 : v0 + (p - p0) / (p1 - p0) * (v1 - v0);
  };
  return {value(grid_.x, at.x(), first.x(), last.x()), value(grid_.y, at.y(), first.y(), last.y())};
}

void MapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !plotRect().contains(event->position())) return;
  dragFrom_ = dragTo_ = event->position();
  panning_ = event->modifiers() & Qt::ShiftModifier;
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragFrom_) return;
  const QPointF from = *dragFrom_, to = event->position();
  dragFrom_.reset();
  update();
  // A short move is a click on the cell pressed.
  if (std::abs(to.x() - from.x()) < 5 && std::abs(to.y() - from.y()) < 5) {
    int i, j;
    if (cellAt(from, &i, &j) && onClick) onClick(i, j, event->globalPosition().toPoint());
    return;
  }
  const QPointF a = valuesAt(from), b = valuesAt(to);
  if (panning_) {
    // The map follows the pointer: what was under it at the press is under it now.
    if (onPan) onPan(a.x() - b.x(), a.y() - b.y());
  } else if (onZoom) {
    onZoom(std::min(a.x(), b.x()), std::max(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.y(), b.y()));
  }
}

void MapView::keyPressEvent(QKeyEvent* event) {
  if (!(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) && onKey && onKey(event->key()))
    event->accept();
  else
    QWidget::keyPressEvent(event);
}

// Each notch of the wheel halves (or doubles) both ranges about the pointer.
void MapView::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (notches == 0 || !plotRect().contains(event->position()) || !onZoom) return;
  const double factor = std::pow(0.5, notches);
  const QPointF c = valuesAt(event->position());
  const MapAxis &x = grid_.x, &y = grid_.y;
  onZoom(c.x() + (x.values.front() - c.x()) * factor, c.x() + (x.values.back() - c.x()) * factor,
         c.y() + (y.values.front() - c.y()) * factor, c.y() + (y.values.back() - c.y()) * factor);
  event->accept();
}

} // namespace tb
