#include "devcmd/summary_lines.h"

#include "base/text.h"

namespace kestrune::devcmd {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool SummaryLines::Selected(std::initializer_list<std::string_view> keys) const {
  for (std::string_view key : keys)
    if (items_.Selects(key)) return true;
  return false;
}

void SummaryLines::Plain(std::string_view label, const std::string& shown, uint32_t colour) {
  sink_.Write(base::Format("%-26.*s : %s", static_cast<int>(label.size()), label.data(), shown.c_str()),
              colour);
}

void SummaryLines::Collect(const std::string& collected) {
  if (items_.filtering()) items_.Add(collected);
}

void SummaryLines::Line(std::initializer_list<std::string_view> keys, std::string_view label,
                        const std::string& shown, const std::string& collected, uint32_t colour) {
  if (!Selected(keys)) return;
  Plain(label, shown, colour);
  Collect(collected);
}

void SummaryLines::Text(std::initializer_list<std::string_view> keys, std::string_view label,
                        const std::string& text, uint32_t colour) {
  Line(keys, label, text, Quoted(text), colour);
}

void SummaryLines::Number(std::initializer_list<std::string_view> keys, std::string_view label,
                          unsigned long long n, uint32_t colour) {
  const std::string text = base::Format("%llu", n);
  Line(keys, label, text, text, colour);
}

}  // namespace kestrune::devcmd
