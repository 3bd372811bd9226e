// The tests of the last series as the windows keep them: each line with the
// picture it left, shown again on a click, copied or saved whole.
#include "forms/qt/qt_forms.h"

#include "forms/qt/widgets.h"
#include "forms/qt/words.h"
#include "reference/reference.h"
#include "results/atomic_file.h"
#include "results/export.h"
#include "runtime/controls.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

namespace tb {

void QtForms::recordTest(const TestReport& report) {
  if (report.index == 0) {
    ++series_;
    *stopVerifying_ = 1; // the last series' verdicts would find no line
    stopVerifying_ = std::make_shared<std::atomic<int>>(0);
    results_.clear();
    verified_.clear();
    verifyAsked_ = false;
    pictures_.clear();
    overlays_.clear();
    pictureBytes_ = 0;
    traces_.clear();
    traceBytes_ = 0;
    if (resultsTable_) resultsTable_->clear();
  }
  results_.push_back(report);
  verified_.emplace_back();
  // Each test's picture, kept as PNG (a few kilobytes of trails on white);
  // the oldest go first should a very long series fill kMaxPictureBytes.
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  plot_->image().save(&buffer, "PNG");
  pictureBytes_ += static_cast<size_t>(png.size());
  pictures_.push_back(std::move(png));
  // Its overlay as it ended (bodies, scale, time, alpha), drawn again over
  // the picture when the test is shown or saved later.
  overlays_.push_back(plot_->overlayState ? std::optional(plot_->overlayState()) : std::nullopt);
  for (size_t k = 0; pictureBytes_ > kMaxPictureBytes && k + 1 < pictures_.size(); ++k) {
    pictureBytes_ -= static_cast<size_t>(pictures_[k].size());
    pictures_[k] = QByteArray();
  }
  // Its graphs; the live view keeps showing them until the next test's first sample.
  liveTrace_.finish();
  traces_.push_back(liveTrace_.samples());
  liveTraceEnded_ = true;
  traceBytes_ += traces_.back().size() * sizeof(TraceSample);
  for (size_t k = 0; traceBytes_ > kMaxTraceBytes && k + 1 < traces_.size(); ++k) {
    traceBytes_ -= traces_[k].size() * sizeof(TraceSample);
    traces_[k] = std::vector<TraceSample>();
  }
  if (graphs_) listGraphTests();
  if (resultsTable_) resultsTable_->addTest(results_.size() - 1, report);
  // The line in words, where a student hovers over it.
  const QString words = QString::fromStdString(lineInWords(report, Words::inLanguage));
  for (int label = 0; label < 19; ++label)
    if (labelTest(label) == static_cast<int>(results_.size()) - 1)
      lmesg_[static_cast<size_t>(label)]->setWords(words);
  if (verify_) verifyInBackground(report);
  plot_->paintNow();
}

void QtForms::setVerifyOutcomes(bool on) {
  verify_ = on;
  if (actions_.verify && actions_.verify->isChecked() != on) actions_.verify->setChecked(on);
}

// The reference runs on a worker of the thread pool; its verdict comes back
// to the windows' thread and marks the line, if that label still shows this
// test of this series.
void QtForms::verifyInBackground(const TestReport& report) {
  verifyAsked_ = true;
  if (report.end == EndCode::None) return; // stopped: no outcome to judge
  const int series = series_, test = static_cast<int>(results_.size()) - 1;
  const FieldTexts fields = seriesFields_;
  const double alpha = report.alpha;
  const EndCode end = report.end;
  const int revolutions = report.revolutions;
  ++verificationsRunning_;
  QPointer<QtForms> self(this);
  QThreadPool::globalInstance()->start(
      [self, series, test, fields, alpha, end, revolutions, stop = stopVerifying_] {
        std::optional<VerifiedTest> v;
        try {
          v = verifyOutcome(referenceStart(fields, alpha), end, revolutions, stop.get());
        } catch (const std::exception&) {
          // Fields the engine refused end the series with their own message; the line stays unmarked.
        }
        QMetaObject::invokeMethod(
            self,
            [self, series, test, v] {
              if (!self) return;
              --self->verificationsRunning_;
              if (!v || series != self->series_) return;
              self->verified_[static_cast<size_t>(test)] = v;
              if (self->resultsTable_) self->resultsTable_->setVerdict(static_cast<size_t>(test), *v);
              for (int label = 0; label < 19; ++label)
                if (self->labelTest(label) == test) {
                  static const char* marks[] = {"\u2713", "\u2717", "~", "?"};
                  static const QColor colours[] = {QColor(0, 130, 0), QColor(200, 0, 0), QColor(200, 120, 0),
                                                   QColor(90, 90, 90)};
                  const int k = static_cast<int>(v->verdict);
                  self->lmesg_[static_cast<size_t>(label)]->setVerdictMark(
                      QString::fromUtf8(marks[k]), colours[k], QString::fromStdString(verificationText(*v)));
                }
            },
            Qt::QueuedConnection);
      });
}

// Labels 0 to 17 hold the first tests; from the 19th test on the last label
// holds the latest.
int QtForms::labelTest(int label) const {
  const int tests = static_cast<int>(results_.size());
  if (label < 18) return label < tests ? label : -1;
  return tests >= 19 ? tests - 1 : -1;
}

bool QtForms::showTest(int test) {
  if (test < 0 || static_cast<size_t>(test) >= pictures_.size() ||
      pictures_[static_cast<size_t>(test)].isEmpty())
    return false;
  QImage picture;
  if (!picture.loadFromData(pictures_[static_cast<size_t>(test)], "PNG")) return false;
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = -1;
  // The label that holds the test's line is marked too.
  for (int label = 0; label < 19; ++label)
    if (labelTest(label) == test) {
      shownTest_ = label;
      lmesg_[static_cast<size_t>(label)]->setMarked(true);
    }
  plot_->showPicture(picture, overlays_[static_cast<size_t>(test)]);
  if (graphs_ && graphs_->isVisible()) showTestGraphs(test);
  return true;
}

void QtForms::followExperiment(Experiment& experiment) {
  experiment.onTestEnd = [this](const TestReport& r) { recordTest(r); };
  experiment.onDisplayStep = [this, &experiment] { addTraceSample(traceSample(experiment)); };
  simulatedTime = [&experiment] {
    return static_cast<double>(experiment.state().nstep) * experiment.state().tdelta;
  };
}

void QtForms::addTraceSample(const TraceSample& sample) {
  if (liveTraceEnded_) {
    liveTrace_.clear();
    liveTraceEnded_ = false;
  }
  const bool first = liveTrace_.samples().empty();
  liveTrace_.add(sample);
  if (!graphs_ || graphs_->chosenTest() != -1) return;
  if (first)
    graphs_->setTitle(Words::tr("The running test: alpha = %1")
                          .arg(QString::fromStdString(text(controls::Talpha)).trimmed()));
  if (graphs_->isVisible()) graphs_->plot()->update();
}

void QtForms::showGraphs() {
  if (!graphs_) {
    graphs_ = std::make_unique<GraphWindow>();
    graphs_->plot()->palette = palette_;
    graphs_->plot()->showLive(&liveTrace_.samples());
    graphs_->onChoose = [this](int test) { showTestGraphs(test); };
    listGraphTests();
    graphs_->move(windows_[2]->frameGeometry().left(), windows_[2]->frameGeometry().top());
  }
  graphs_->show();
  graphs_->raise();
}

// Test -1 is the running (or last) test, as it grows.
void QtForms::showTestGraphs(int test) {
  if (!graphs_) return;
  graphs_->chooseTest(test);
  if (test < 0 || static_cast<size_t>(test) >= traces_.size()) {
    graphs_->plot()->showLive(&liveTrace_.samples());
    graphs_->setTitle(Words::tr("The running test (or the last one)"));
    return;
  }
  graphs_->plot()->showSamples(traces_[static_cast<size_t>(test)]);
  graphs_->setTitle(Words::tr("Test %1: %2")
                        .arg(test + 1)
                        .arg(QString::fromStdString(results_[static_cast<size_t>(test)].line)));
}

void QtForms::listGraphTests() {
  QStringList names;
  for (size_t k = 0; k < results_.size(); ++k)
    names << QString("%1: %2").arg(k + 1).arg(QString::fromStdString(results_[k].line));
  graphs_->setTests(names);
}

void QtForms::showTestPicture(int index) { showTest(labelTest(index)); }

void QtForms::showLivePlot() {
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = -1;
  plot_->showLive();
}

void QtForms::showResultsTable() {
  if (!resultsTable_) {
    resultsTable_ = std::make_unique<ResultsTable>();
    resultsTable_->onPick = [this](size_t test) { showTest(static_cast<int>(test)); };
    for (size_t k = 0; k < results_.size(); ++k) {
      resultsTable_->addTest(k, results_[k]);
      if (verified_[k]) resultsTable_->setVerdict(k, *verified_[k]);
    }
    resultsTable_->move(windows_[2]->frameGeometry().left(), windows_[2]->frameGeometry().bottom() + 1);
  }
  resultsTable_->show();
  resultsTable_->raise();
}

QString QtForms::resultLines() const {
  QString text;
  for (const auto& r : results_)
    text += QString::fromStdString(r.line) + "\n";
  return text;
}

// As tab-separated columns with a header row: a spreadsheet splits them.
void QtForms::copyLines() const {
  QGuiApplication::clipboard()->setText(QString::fromStdString(testsToTsv(results_)));
}

// Writes through a temporary file that replaces `path` only when complete: a
// full disk leaves an earlier file as it was and no temporary behind.
QString saveWhole(const QString& path, const QByteArray& data) {
  AtomicFile file(QFile::encodeName(path).toStdString());
  file.write(data.constData(), static_cast<size_t>(data.size()));
  std::string error = file.commit();
  if (error.empty()) return {};
  return Words::tr("Could not write %1 (%2). Any earlier file of that name is unchanged.")
      .arg(path, QString::fromStdString(error));
}

QString QtForms::saveImage(const QString& path, bool withOverlay) const {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  // The picture names the program and the experiment of the series it shows.
  QImage image = plot_->shownWithOverlay(withOverlay);
  image.setText("Software", "threebody " + QApplication::applicationVersion());
  image.setText("Parameters", QString::fromStdString(parameterLine(seriesFields_)));
  if (!image.save(&buffer, "PNG")) return Words::tr("Could not encode the picture as PNG.");
  return saveWhole(path, png);
}

QString QtForms::saveResults(const QString& path) const {
  std::string csv = testsToCsv(results_, &seriesFields_, verifyAsked_ ? &verified_ : nullptr);
  return saveWhole(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())));
}

} // namespace tb
