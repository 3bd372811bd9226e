// The application's event handlers: window placement at start-up, Start, and End or Stop.
#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "runtime/controls.h"

namespace tb {

void Application::Form_Load() {
  using F = FormId;
  forms_.setTop(F::Form1, 0);
  forms_.setLeft(F::Form1, 0);

  forms_.show(F::Form2);
  forms_.setTop(F::Form2, forms_.top(F::Form1) + forms_.height(F::Form1));
  forms_.setLeft(F::Form2, forms_.left(F::Form1));
  forms_.setWidth(F::Form2, forms_.width(F::Form1));
  forms_.setScaleModePixels(F::Form2);

  forms_.show(F::Form3);
  forms_.setTop(F::Form3, forms_.top(F::Form1));
  forms_.setLeft(F::Form3, forms_.left(F::Form1) + forms_.width(F::Form1));

  forms_.setScaleModePixels(F::Form3);
  for (int16_t i = 0; i <= 18; ++i) {
    forms_.setLmesgGeometry(i, 0, 15 * i, 6600, 15);
    forms_.setLmesgCaption(i, "");
  }
  forms_.setHeight(F::Form3, 510 + 19 * 16 * 15);
  forms_.doEvents();
}

void Application::CommandStart_Click() {
  // A second series nested inside a running one would share its state.
  if (state_ != RunState::Idle) return;
  state_ = RunState::Running;
  forms_.setCaption(controls::CommandEnd, "Stop");
  exp_.RunSeries();
  state_ = RunState::Idle;
}

std::optional<std::string> Application::startRefusal() const {
  auto scratch = newMemoryForms();
  for (const auto& c : form1Controls())
    if (c.kind == ControlKind::TextBox) scratch->setText(c.name, forms_.text(c.name));
  Experiment e(*scratch);
  if (e.beginSolo()) return std::nullopt;
  return e.lastFault();
}

void Application::CommandEnd_Click() {
  if (state_ == RunState::Running) {
    forms_.setCaption(controls::CommandEnd, "End");
    exp_.state().stopflag = 1;
    state_ = RunState::Stopping;
    return;
  }
  forms_.end();
}

} // namespace tb
