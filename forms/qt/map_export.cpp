// The map window's map kept: as a picture with the command that computes
// it, or as the map tool's CSV.
#include "forms/qt/map_window.h"

#include "forms/qt/qt_forms.h"
#include "forms/qt/words.h"
#include "runtime/parameters.h"

#include <QApplication>
#include <QBuffer>

namespace tb {

namespace {

// A text for the shell, in single quotes.
std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

} // namespace

std::string MapWindow::mapCommand() const {
  std::string c = "threebody-map --x " + quoted(grid_.x.given) + " --y " + quoted(grid_.y.given);
  if (grid_.integrator == MapIntegrator::Reference) c += " --integrator reference";
  if (grid_.verify) c += " --verify";
  // Every field, also those an axis sets: the CSV's head names them all.
  for (const auto& f : parameterFields())
    for (const auto& [control, text] : grid_.fields)
      if (control == f.control) c += std::string(" ") + f.option + " " + quoted(text);
  return c;
}

QString MapWindow::saveImage(const QString& path) {
  QImage image = grab().toImage();
  image.setText("Software", "threebody " + QApplication::applicationVersion());
  image.setText("Parameters", QString::fromStdString(parameterLine(grid_.fields)));
  image.setText("Map", QString::fromStdString(mapCommand()));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return Words::tr("Could not encode the map as PNG.");
  return saveWhole(path, png);
}

// The rows in point order, up to the first point not computed yet.
QString MapWindow::saveCsv(const QString& path) const {
  std::string csv = mapCsvHead(grid_);
  for (size_t k = 0; k < rows_.size() && !rows_[k].empty(); ++k)
    csv += rows_[k];
  return saveWhole(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())));
}

} // namespace tb
