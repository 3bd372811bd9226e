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
