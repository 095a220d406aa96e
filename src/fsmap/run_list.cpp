#include "fsmap/run_list.h"

#include "base/bytes.h"
#include "base/text.h"
#include "fsmap/ntfs_layout.h"

namespace kestrune::fsmap {
namespace {

// A little-endian field of size bytes at p, sign-extended from its top byte when signedField.
int64_t FieldAt(const uint8_t* p, unsigned size, bool signedField) {
  uint64_t v = 0;
  for (unsigned i = 0; i < size; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  if (signedField && size < 8 && (p[size - 1] & 0x80) != 0) v |= ~uint64_t{0} << (8 * size);
  return static_cast<int64_t>(v);
}

unsigned BytesFor(uint64_t magnitude, bool signedField) {
  for (unsigned n = 1; n < 8; ++n) {
    const int64_t v = static_cast<int64_t>(magnitude);
    const int64_t lo = -(int64_t{1} << (8 * n - 1)), hi = (int64_t{1} << (8 * n - 1)) - 1;
    if (signedField ? (v >= lo && v <= hi) : (magnitude >> (8 * n)) == 0) return n;
  }
  return 8;
}

}  // namespace

RunListResult DecodeRunList(std::span<const uint8_t> pairs, int64_t startVcn, size_t maxRuns) {
  RunListResult result;
  int64_t vcn = startVcn;
  int64_t lcn = 0;
  size_t at = 0;
  for (;;) {
    if (at >= pairs.size()) {
      result.error = "run list has no end";
      return result;
    }
    const uint8_t header = pairs[at];
    if (header == 0) return result;
    const unsigned lengthSize = header & 0x0F, offsetSize = header >> 4;
    if (lengthSize == 0 || lengthSize > 8 || offsetSize > 8) {
      result.error = base::Format("run header 0x%02X is not a run", header);
      return result;
    }
    if (pairs.size() - at - 1 < lengthSize + offsetSize) {
      result.error = "run list runs past its attribute";
      return result;
    }
    const int64_t length = FieldAt(&pairs[at + 1], lengthSize, true);
    if (length <= 0) {
      result.error = "run of no clusters";
      return result;
    }
    int64_t runLcn = kSparseLcn;
    if (offsetSize != 0) {
      const int64_t delta = FieldAt(&pairs[at + 1 + lengthSize], offsetSize, true);
      if (__builtin_add_overflow(lcn, delta, &lcn) || lcn < 0) {
        result.error = "run starts before the volume";
        return result;
      }
      int64_t end = 0;
      if (__builtin_add_overflow(lcn, length, &end)) {
        result.error = "run ends past any volume";
        return result;
      }
      runLcn = lcn;
    }
    if (result.runs.size() == maxRuns) {
      result.error = "too many runs";
      return result;
    }
    result.runs.push_back({vcn, runLcn, static_cast<uint64_t>(length)});
    if (__builtin_add_overflow(vcn, length, &vcn)) {
      result.error = "run list passes the largest VCN";
      return result;
    }
    at += 1 + lengthSize + offsetSize;
  }
}

std::vector<uint8_t> EncodeRunList(std::span<const Run> runs) {
  std::vector<uint8_t> out;
  int64_t lcn = 0;
  for (const Run& r : runs) {
    const unsigned lengthSize = BytesFor(r.clusters, true);
    unsigned offsetSize = 0;
    int64_t delta = 0;
    if (r.lcn != kSparseLcn) {
      delta = r.lcn - lcn;
      offsetSize = BytesFor(static_cast<uint64_t>(delta), true);
      lcn = r.lcn;
    }
    out.push_back(static_cast<uint8_t>(lengthSize | (offsetSize << 4)));
    for (unsigned i = 0; i < lengthSize; ++i) out.push_back(static_cast<uint8_t>(r.clusters >> (8 * i)));
    for (unsigned i = 0; i < offsetSize; ++i)
      out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(delta) >> (8 * i)));
  }
  out.push_back(0);
  return out;
}

namespace {

// The update sequence array's place in record: offset of the number, entries after it; nullopt
// when it does not fit or does not have one entry per stride.
std::optional<size_t> ArrayOffset(std::span<const uint8_t> record) {
  using H = ntfs::MultiSectorHeader;
  if (record.size() < H::kSize || record.size() % ntfs::kSequenceStride != 0) return std::nullopt;
  const size_t offset = base::GetLe16(&record[H::kUpdateSequenceArrayOffset]);
  const size_t entries = base::GetLe16(&record[H::kUpdateSequenceArraySize]);
  const size_t strides = record.size() / ntfs::kSequenceStride;
  if (entries != strides + 1 || offset < H::kSize || offset % 2 != 0) return std::nullopt;
  // The array lies in the first stride, before its check word.
  if (offset + 2 * entries > ntfs::kSequenceStride - 2) return std::nullopt;
  return offset;
}

}  // namespace

FixupResult ApplyFixup(std::span<uint8_t> record) {
  const std::optional<size_t> offset = ArrayOffset(record);
  if (!offset) return {FixupStatus::kBadArray, 0};
  const uint16_t number = base::GetLe16(&record[*offset]);
  const uint32_t strides = static_cast<uint32_t>(record.size() / ntfs::kSequenceStride);
  for (uint32_t s = 0; s < strides; ++s) {
    if (base::GetLe16(&record[(s + 1) * ntfs::kSequenceStride - 2]) != number) return {FixupStatus::kBadCheckWord, s};
  }
  for (uint32_t s = 0; s < strides; ++s) {
    uint8_t* tail = &record[(s + 1) * ntfs::kSequenceStride - 2];
    tail[0] = record[*offset + 2 + 2 * s];
    tail[1] = record[*offset + 3 + 2 * s];
  }
  return {};
}

bool ProtectRecord(std::span<uint8_t> record, uint16_t sequenceNumber) {
  const std::optional<size_t> offset = ArrayOffset(record);
  if (!offset) return false;
  base::PutLe16(&record[*offset], sequenceNumber);
  const size_t strides = record.size() / ntfs::kSequenceStride;
  for (size_t s = 0; s < strides; ++s) {
    uint8_t* tail = &record[(s + 1) * ntfs::kSequenceStride - 2];
    record[*offset + 2 + 2 * s] = tail[0];
    record[*offset + 3 + 2 * s] = tail[1];
    base::PutLe16(tail, sequenceNumber);
  }
  return true;
}

}  // namespace kestrune::fsmap
