#include "forms/headless.h"

#include "forms/design.h"

namespace tb {

std::unique_ptr<MemoryForms> newMemoryForms() {
  std::vector<std::pair<std::string, std::string>> texts;
  for (const auto& c : form1Controls())
    texts.emplace_back(c.name, c.text);
  return std::make_unique<MemoryForms>(std::move(texts), kWindowDesigns);
}

} // namespace tb

#include "forms/app.h"

namespace tb {

HeadlessTest runHeadlessTest(const std::vector<std::pair<std::string, std::string>>& fields,
                             const std::atomic<int>* cancel) {
  auto forms = newMemoryForms();
  Experiment exp(*forms);
  Application app(*forms, exp);
  app.Form_Load();
  for (const auto& [control, text] : fields)
    forms->setText(control, text);
  HeadlessTest result;
  exp.onTestEnd = [&](const TestReport& r) {
    if (!result.cancelled) result.report = r;
  };
  if (cancel) {
    forms->interruptFlag = cancel;
    forms->onInterrupt = [&](int) {
      result.cancelled = true;
      app.CommandEnd_Click();
    };
  }
  app.CommandStart_Click();
  result.fault = exp.lastFault();
  if (result.cancelled) result.report.reset();
  return result;
}

} // namespace tb
