#include "workloads/file_data.h"

#include <algorithm>
#include <bit>

#include "disk/pattern_fill.h"

namespace kestrune::workloads {

void StampFileMarks(std::span<uint8_t> piece, uint64_t fileOffset) {
  const uint64_t end = fileOffset + piece.size();
  for (uint64_t unit = fileOffset - fileOffset % kFileMarkUnit; unit < end; unit += kFileMarkUnit) {
    for (uint32_t b = 0; b < kFileMarkBytes; ++b) {
      const uint64_t at = unit + b;
      if (at >= fileOffset && at < end) piece[at - fileOffset] = static_cast<uint8_t>(unit >> (8 * b));
    }
  }
}

void ExpectedFilePiece(std::span<uint8_t> piece, uint64_t fileOffset, uint32_t pattern, bool marks) {
  // Starting k bytes into the pattern is laying the pattern rotated left by k bytes.
  disk::LayPattern(piece, std::rotl(pattern, static_cast<int>(8 * (fileOffset % 4))));
  if (marks) StampFileMarks(piece, fileOffset);
}

std::optional<size_t> FirstDifference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  const size_t n = std::min(a.size(), b.size());
  const auto [pa, pb] = std::mismatch(a.begin(), a.begin() + n, b.begin());
  if (pa != a.begin() + n) return static_cast<size_t>(pa - a.begin());
  if (a.size() != b.size()) return n;
  return std::nullopt;
}

std::optional<std::span<const uint8_t>> FileWindow::Read(platform::JobFile& file, uint64_t offset,
                                                         size_t length, platform::FileIo& io) {
  constexpr uint64_t kAlign = platform::kFileAlignment;
  length = std::min(length, buffer_->size() - 2 * kAlign);
  uint64_t start = offset;
  uint64_t end = offset + length;
  if (file.unbuffered()) {
    start -= start % kAlign;
    end = (end + kAlign - 1) / kAlign * kAlign;
  }
  io = file.ReadAt(start, buffer_->bytes().first(static_cast<size_t>(end - start)));
  if (!io.ok) return std::nullopt;
  const size_t skip = static_cast<size_t>(offset - start);
  const size_t got = io.bytes > skip ? std::min(length, io.bytes - skip) : 0;
  return std::span<const uint8_t>(buffer_->data() + skip, got);
}

}  // namespace kestrune::workloads
