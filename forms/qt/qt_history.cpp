// The tests of the last series as the windows keep them: each line with the
// picture it left, shown again on a click, copied or saved whole.
#include "forms/qt/qt_forms.h"

#include "forms/qt/widgets.h"
#include "results/atomic_file.h"
#include "results/export.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>

namespace tb {

void QtForms::recordTest(const TestReport& report) {
  if (report.index == 0) {
    results_.clear();
    pictures_.fill(QImage());
  }
  results_.push_back(report);
  // The picture belongs to the label the line went to: from the 19th test on
  // that is always the last one.
  pictures_[static_cast<size_t>(std::min(report.index, 18))] = plot_->image().copy();
  plot_->paintNow();
}

void QtForms::showTestPicture(int index) {
  const QImage& picture = pictures_.at(static_cast<size_t>(index));
  if (picture.isNull()) return;
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = index;
  lmesg_[static_cast<size_t>(index)]->setMarked(true);
  plot_->showPicture(picture);
}

void QtForms::showLivePlot() {
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = -1;
  plot_->showLive();
}

QString QtForms::resultLines() const {
  QString text;
  for (const auto& r : results_)
    text += QString::fromStdString(r.line) + "\n";
  return text;
}

void QtForms::copyLines() const { QGuiApplication::clipboard()->setText(resultLines()); }

// Writes through a temporary file that replaces `path` only when complete: a
// full disk leaves an earlier file as it was and no temporary behind.
QString saveWhole(const QString& path, const QByteArray& data) {
  AtomicFile file(QFile::encodeName(path).toStdString());
  file.write(data.constData(), static_cast<size_t>(data.size()));
  std::string error = file.commit();
  if (error.empty()) return {};
  return "Could not write " + path + " (" + QString::fromStdString(error) +
         "). Any earlier file of that name is unchanged.";
}

QString QtForms::saveImage(const QString& path, bool withOverlay) const {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  // The picture names the program and the experiment of the series it shows.
  QImage image = plot_->shownWithOverlay(withOverlay);
  image.setText("Software", "threebody " + QApplication::applicationVersion());
  image.setText("Parameters", QString::fromStdString(parameterLine(seriesFields_)));
  if (!image.save(&buffer, "PNG")) return "Could not encode the picture as PNG.";
  return saveWhole(path, png);
}

QString QtForms::saveResults(const QString& path) const {
  std::string csv = testsToCsv(results_);
  return saveWhole(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())));
}

} // namespace tb
