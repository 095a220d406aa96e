// The lines of the Identify summaries (NVMe and SATA): "%-26s : %s" under keys that the Items
// filter selects, each selected line's value collected into the command's result.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "devcmd/item_filter.h"
#include "devcmd/line_sink.h"

namespace kestrune::devcmd {

std::string Quoted(std::string_view text);

class SummaryLines {
 public:
  SummaryLines(LineSink& sink, ItemCollector& items) : sink_(sink), items_(items) {}

  // Prints label and shown when one of keys is selected, and under a filter collects collected.
  void Line(std::initializer_list<std::string_view> keys, std::string_view label, const std::string& shown,
            const std::string& collected, uint32_t colour);
  // A text, collected in quotes.
  void Text(std::initializer_list<std::string_view> keys, std::string_view label, const std::string& text,
            uint32_t colour);
  // A decimal number, collected as it is shown.
  void Number(std::initializer_list<std::string_view> keys, std::string_view label, unsigned long long n,
              uint32_t colour);
  // Several lines under one key; the value collected once, after them.
  bool Selected(std::initializer_list<std::string_view> keys) const;
  void Plain(std::string_view label, const std::string& shown, uint32_t colour);
  void Collect(const std::string& collected);

 private:
  LineSink& sink_;
  ItemCollector& items_;
};

}  // namespace kestrune::devcmd
