// How a running series shares the event loop: events served every pump
// interval, and a chosen pace that holds each test back to watch it.
#include "forms/qt/qt_forms.h"

#include <QAction>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace tb {

uint32_t QtForms::doEvents() {
  if (paused_ && runState() == RunState::Running && !ended_) return holdWhilePaused();
  auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ >= pumpInterval) {
    plot_->flush();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastPump_ = std::chrono::steady_clock::now();
  }
  if (pace_ <= 0 || !simulatedTime) return yieldBatch;
  holdPace();
  return pacedBatch_;
}

void QtForms::setPaused(bool on) {
  paused_ = on;
  stepOnce_ = false;
  if (actions_.pause && actions_.pause->isChecked() != on) actions_.pause->setChecked(on);
  if (actions_.step) actions_.step->setEnabled(on && runState() == RunState::Running);
  paceStartWall_ = 0; // a paced test goes on from where it was held
}

void QtForms::stepPaused() {
  if (paused_) stepOnce_ = true;
}

// Serves events until Pause is switched off, Step is asked for, or the
// series stops or ends; returns the yields to run before the next look:
// one display step (100 passes, two yields each) for a Step.
uint32_t QtForms::holdWhilePaused() {
  plot_->flush();
  while (paused_ && !stepOnce_ && runState() == RunState::Running && !ended_)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  lastPump_ = std::chrono::steady_clock::now();
  if (stepOnce_) {
    stepOnce_ = false;
    return 200;
  }
  return 1;
}

void QtForms::setPace(double unitsPerSecond) {
  pace_ = unitsPerSecond > 0 ? unitsPerSecond : 0;
  paceStartWall_ = 0; // anchored again at the next yield
  pacedBatch_ = 1;
  for (QAction* a : speedActions_)
    a->setChecked(a->data().toDouble() == pace_);
}

// Holds the running test back until its simulated time is due at the chosen
// pace, serving events meanwhile, so Stop and End answer at once.
void QtForms::holdPace() {
  const double sim = simulatedTime();
  double now = timer();
  // A new test restarts its time at 0: it starts on time.
  if (paceStartWall_ == 0 || sim < lastSimTime_) paceStartWall_ = now - sim / pace_;
  // Adjust how many yields pass between two looks so that each covers about
  // one event-processing interval of simulated time.
  const double wanted = pace_ * std::chrono::duration<double>(pumpInterval).count();
  const double advanced = sim - lastSimTime_;
  double next = advanced > 0 ? pacedBatch_ * wanted / advanced : pacedBatch_ * 2.0;
  pacedBatch_ = static_cast<uint32_t>(std::clamp(next, 1.0, static_cast<double>(yieldBatch)));
  lastSimTime_ = sim;

  const double due = paceStartWall_ + sim / pace_;
  while (now < due && !ended_ && runState() == RunState::Running && pace_ > 0) {
    plot_->flush();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    double wait = std::min(due - now, 0.01);
    if (wait > 0) QThread::usleep(static_cast<unsigned long>(wait * 1e6));
    now = timer();
  }
  lastPump_ = std::chrono::steady_clock::now();
}

} // namespace tb
