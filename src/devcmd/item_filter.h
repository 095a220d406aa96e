// The Items filter of the summary commands (Identify, SMART) and of the field-table decoder: a
// bar-separated list of keys that picks lines out of a command's output and collects their values
// into the command's result.
#pragma once

#include <string>
#include <string_view>

#include "engine/value.h"

namespace kestrune::devcmd {

// Wraps items as "|items|" and turns every "| " and " |" into "|", so that items are separated by
// bars with optional blanks. An empty text stays empty (no filter).
std::string NormaliseItems(std::string_view items);

// Selects lines by key and collects the values of the selected ones.
class ItemCollector {
 public:
  explicit ItemCollector(std::string_view items);

  // True when items were given: only selected lines are printed, and their values are collected.
  bool filtering() const { return !filter_.empty(); }
  // True when the line of key is printed: always without a filter, else when key occurs in the
  // normalised items (case-insensitive substring search).
  bool Selects(std::string_view key) const;
  // The normalised items ("" without a filter).
  const std::string& filter() const { return filter_; }

  // Appends one collected value as it goes into the result text ("\"text\"", "0x1E4B", "12").
  void Add(std::string_view piece);

  // The result: the pieces joined by ","; a text without a comma (one value) becomes a number when
  // it reads as one, otherwise the text without its surrounding quotes. Several values stay text.
  engine::Value Result() const;

  // Result() for a text joined by the caller.
  static engine::Value ResultOf(const std::string& joined);

 private:
  std::string filter_;
  std::string joined_;
  bool any_ = false;
};

}  // namespace kestrune::devcmd
