// Item-keyed CSV texts, as CSV_AddData writes them: one row per item, the item name in the first
// field and its values after it. The texts are the files' bytes (ANSI); rows end with CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrune::engine {

// CSV_AddData on a file's text. With a non-empty output, the first row whose first field is item
// gets ",output" at its end (appendOnTail) or right after the item. Otherwise — no such row, or an
// empty output — the row "item,output" (or just "item") is appended, after a CR LF that ends the
// text's last row when it lacked one.
std::string AddCsvData(std::string_view text, std::string_view item, std::string_view output,
                       bool appendOnTail);

// Merges item-keyed CSV texts side by side: every item gets one row, whose values are those of the
// first text, then those of the second, and so on. Each text fills a block of columns as wide as its
// widest row, so that a value stays in its text's columns even where another text lacks the item.
// Items keep the order in which they are first met; an item a text lists twice is matched to the
// second row of that item. Empty lines are dropped; a UTF-8 byte-order mark is kept when the first
// text has one. Fields in double quotes may hold ",".
std::string MergeCsvTexts(const std::vector<std::string>& texts);

}  // namespace kestrune::engine
