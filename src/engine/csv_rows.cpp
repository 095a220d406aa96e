#include "engine/csv_rows.h"

#include <algorithm>
#include <map>

namespace kestrune::engine {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The fields of a row, split at the commas outside double quotes; each field kept as written.
std::vector<std::string> SplitFields(std::string_view row) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : row) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      fields.emplace_back();
      continue;
    }
    fields.back() += c;
  }
  return fields;
}

// The rows of a text without their line ends (LF or CR LF); empty rows dropped.
std::vector<std::string_view> SplitRows(std::string_view text) {
  std::vector<std::string_view> rows;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view row = text.substr(0, lf);
    text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

struct MergedRow {
  std::string item;
  std::vector<std::string> values;
};

}  // namespace

std::string AddCsvData(std::string_view text, std::string_view item, std::string_view output,
                       bool appendOnTail) {
  std::string out(text);
  if (!output.empty()) {
    for (size_t start = 0; start < out.size();) {
      size_t lf = out.find('\n', start);
      size_t end = lf == std::string::npos ? out.size() : lf;
      size_t contentEnd = end > start && out[end - 1] == '\r' ? end - 1 : end;
      std::string_view row(out.data() + start, contentEnd - start);
      // The whole first field must be the item: "Temp" is not the row of "Temperature".
      if (row.substr(0, item.size()) == item && (row.size() == item.size() || row[item.size()] == ',')) {
        out.insert(appendOnTail ? contentEnd : start + item.size(), "," + std::string(output));
        return out;
      }
      start = end + 1;
    }
  }
  if (!out.empty() && out.back() == '\r') out += '\n';
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  out.append(item);
  if (!output.empty()) out.append(",").append(output);
  out += "\r\n";
  return out;
}

std::string MergeCsvTexts(const std::vector<std::string>& texts) {
  std::vector<MergedRow> merged;
  size_t width = 0;  // value columns filled so far
  bool bom = false;
  for (size_t t = 0; t < texts.size(); ++t) {
    std::string_view text = texts[t];
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
      text.remove_prefix(kUtf8Bom.size());
      if (t == 0) bom = true;
    }
    std::vector<std::vector<std::string>> rows;
    size_t blockWidth = 0;
    for (std::string_view row : SplitRows(text)) {
      rows.push_back(SplitFields(row));
      blockWidth = std::max(blockWidth, rows.back().size() - 1);
    }
    std::map<std::string, size_t> seen;  // rows of each item met in this text so far
    for (std::vector<std::string>& fields : rows) {
      size_t occurrence = seen[fields[0]]++;
      MergedRow* target = nullptr;
      for (MergedRow& m : merged) {
        if (m.item == fields[0] && occurrence-- == 0) {
          target = &m;
          break;
        }
      }
      if (!target) {
        merged.push_back({fields[0], {}});
        target = &merged.back();
      }
      target->values.resize(width);
      target->values.insert(target->values.end(), std::make_move_iterator(fields.begin() + 1),
                            std::make_move_iterator(fields.end()));
    }
    width += blockWidth;
  }

  std::string out = bom ? std::string(kUtf8Bom) : std::string();
  for (MergedRow& m : merged) {
    m.values.resize(width);
    out += m.item;
    for (const std::string& v : m.values) out.append(",").append(v);
    out += "\r\n";
  }
  return out;
}

}  // namespace kestrune::engine
