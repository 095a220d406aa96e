#include "fsmap/ntfs_volume.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "base/unicode.h"
#include "fsmap/ntfs_layout.h"

namespace kestrune::fsmap {

namespace code = base::code;
using base::Format;
using base::GetLe16;
using base::GetLe32;
using base::GetLe64;
using ull = unsigned long long;

namespace {

bool PowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A size byte of the boot sector: a positive count of clusters, or a negative power of two in bytes.
std::optional<uint64_t> SizeByte(int8_t v, uint32_t clusterBytes) {
  if (v > 0) return static_cast<uint64_t>(v) * clusterBytes;
  if (v < -31) return std::nullopt;
  return uint64_t{1} << -v;
}

std::string Utf16Name(const uint8_t* p, size_t units) {
  return base::FromUtf16Le(std::string_view(reinterpret_cast<const char*>(p), units * 2));
}

// Case-insensitive for ASCII letters, exact for the rest (the volume's upcase table is not read).
bool SameName(std::string_view a, std::string_view b) { return base::EqualsNoCase(a, b); }

std::string Hex16(std::span<const uint8_t> bytes, size_t at) {
  std::string text = Format("       %04X:", static_cast<unsigned>(at));
  std::string ascii;
  for (size_t i = at; i < at + 16 && i < bytes.size(); ++i) {
    text += Format(" %02X", bytes[i]);
    ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
  }
  for (size_t i = bytes.size(); i < at + 16; ++i) text += "   ";
  return text + "  " + ascii;
}

// The most bytes of a resident value GetFileByMftId shows.
constexpr size_t kShownValueBytes = 256;
// The largest $ATTRIBUTE_LIST value the walker reads.
constexpr uint64_t kMaxAttributeListBytes = 256 * 1024;

}  // namespace

std::optional<Geometry> GeometryOf(std::span<const uint8_t> boot, uint64_t sourceBytes, std::string& why) {
  using B = ntfs::PackedBootSector;
  if (boot.size() < B::kSize) {
    why = "boot sector short";
    return std::nullopt;
  }
  Geometry g;
  g.bytesPerSector = GetLe16(&boot[B::kBytesPerSector]);
  if (!PowerOfTwo(g.bytesPerSector) || g.bytesPerSector < 256 || g.bytesPerSector > 4096) {
    why = Format("bytes per sector %u", g.bytesPerSector);
    return std::nullopt;
  }
  const uint8_t spc = boot[B::kSectorsPerCluster];
  const uint64_t sectorsPerCluster = spc <= 0x80 ? spc : (spc >= 0xF4 ? uint64_t{1} << (256 - spc) : 0);
  const uint64_t cluster = sectorsPerCluster * g.bytesPerSector;
  if (!PowerOfTwo(sectorsPerCluster) || cluster > (uint64_t{2} << 20)) {
    why = Format("sectors per cluster byte 0x%02X", spc);
    return std::nullopt;
  }
  g.clusterBytes = static_cast<uint32_t>(cluster);
  auto record = SizeByte(static_cast<int8_t>(boot[B::kClustersPerFileRecordSegment]), g.clusterBytes);
  auto index = SizeByte(static_cast<int8_t>(boot[B::kDefaultClustersPerIndexAllocationBuffer]), g.clusterBytes);
  if (!record || !PowerOfTwo(*record) || *record < ntfs::kSequenceStride || *record > 65536) {
    why = "MFT record size";
    return std::nullopt;
  }
  if (!index || !PowerOfTwo(*index) || *index < ntfs::kSequenceStride || *index > 65536) {
    why = "index block size";
    return std::nullopt;
  }
  g.recordBytes = static_cast<uint32_t>(*record);
  g.indexBlockBytes = static_cast<uint32_t>(*index);
  const uint64_t sectors = GetLe64(&boot[B::kNumberSectors]);
  if (sectors == 0 || __builtin_mul_overflow(sectors, uint64_t{g.bytesPerSector}, &g.volumeBytes) ||
      g.volumeBytes > sourceBytes) {
    why = "volume size";
    return std::nullopt;
  }
  g.mftLcn = GetLe64(&boot[B::kMftStartLcn]);
  g.mftMirrorLcn = GetLe64(&boot[B::kMft2StartLcn]);
  const uint64_t clusters = g.volumeBytes / g.clusterBytes;
  if (g.mftLcn >= clusters || g.mftLcn * g.clusterBytes + g.recordBytes > g.volumeBytes) {
    why = "MFT start outside the volume";
    return std::nullopt;
  }
  return g;
}

std::string_view AttributeTypeName(uint32_t type) {
  switch (type) {
    case ntfs::kStandardInformation: return "$STANDARD_INFORMATION";
    case ntfs::kAttributeList: return "$ATTRIBUTE_LIST";
    case ntfs::kFileName: return "$FILE_NAME";
    case ntfs::kObjectId: return "$OBJECT_ID";
    case ntfs::kSecurityDescriptor: return "$SECURITY_DESCRIPTOR";
    case ntfs::kVolumeName: return "$VOLUME_NAME";
    case ntfs::kVolumeInformation: return "$VOLUME_INFORMATION";
    case ntfs::kData: return "$DATA";
    case ntfs::kIndexRoot: return "$INDEX_ROOT";
    case ntfs::kIndexAllocation: return "$INDEX_ALLOCATION";
    case ntfs::kBitmap: return "$BITMAP";
    case ntfs::kReparsePoint: return "$REPARSE_POINT";
    case ntfs::kEaInformation: return "$EA_INFORMATION";
    case ntfs::kEa: return "$EA";
    case ntfs::kLoggedUtilityStream: return "$LOGGED_UTILITY_STREAM";
    default: return "$UNKNOWN";
  }
}

const Attribute* Record::Find(uint32_t type, std::string_view name) const {
  for (const Attribute& a : attributes)
    if (a.type == type && SameName(a.name, name)) return &a;
  return nullptr;
}

std::optional<NameOf> FileNameValue(std::span<const uint8_t> value) {
  using F = ntfs::FileName;
  if (value.size() < F::kSize) return std::nullopt;
  const size_t units = value[F::kFileNameLength];
  if (F::kFileName + 2 * units > value.size()) return std::nullopt;
  return NameOf{Utf16Name(&value[F::kFileName], units), ntfs::SegmentOf(GetLe64(&value[F::kParentDirectory])),
                value[F::kFlags]};
}

ParsedRecord ParseRecord(std::span<uint8_t> bytes, uint64_t id, Record& out) {
  using H = ntfs::FileRecordSegmentHeader;
  using A = ntfs::AttributeRecordHeader;
  ParsedRecord result;
  out.id = id;
  out.attributes.clear();
  if (bytes.size() < H::kSize || std::memcmp(bytes.data(), "FILE", 4) != 0) {
    result.status = RecordStatus::kNoSignature;
    return result;
  }
  out.flags = GetLe16(&bytes[H::kFlags]);
  out.sequence = GetLe16(&bytes[H::kSequenceNumber]);
  const uint64_t base = ntfs::SegmentOf(GetLe64(&bytes[H::kBaseFileRecordSegment]));
  out.baseId = base == 0 ? id : base;
  if ((out.flags & ntfs::kFileRecordSegmentInUse) == 0) {
    result.status = RecordStatus::kFree;
    return result;
  }
  const FixupResult fix = ApplyFixup(bytes);
  if (fix.status != FixupStatus::kOk) {
    result.status = RecordStatus::kBadFixup;
    result.badStride = fix.stride;
    result.error = fix.status == FixupStatus::kBadArray ? "update sequence array out of place" : "";
    return result;
  }
  const auto fail = [&](uint32_t at, std::string why) {
    result.status = RecordStatus::kBadAttribute;
    result.badOffset = at;
    result.error = std::move(why);
    return result;
  };
  const uint32_t used = GetLe32(&bytes[H::kFirstFreeByte]);
  uint32_t at = GetLe16(&bytes[H::kFirstAttributeOffset]);
  if (used > bytes.size() || used < H::kSize) return fail(at, Format("bytes in use 0x%X", used));
  if (at < 0x2A || at % 8 != 0 || at >= used) return fail(at, "first attribute out of place");
  for (;;) {
    if (used - at < 4) return fail(at, "attributes have no end mark");
    const uint32_t type = GetLe32(&bytes[at + A::kTypeCode]);
    if (type == ntfs::kAttributeEnd) return result;
    if (used - at < A::kResidentSize) return fail(at, "attribute header past the bytes in use");
    const uint32_t length = GetLe32(&bytes[at + A::kRecordLength]);
    if (length < A::kResidentSize || length % 8 != 0 || length > used - at)
      return fail(at, Format("attribute length 0x%X", length));
    const std::span<const uint8_t> rec = bytes.subspan(at, length);
    Attribute a;
    a.type = type;
    a.offset = at;
    a.recordId = id;
    a.flags = GetLe16(&rec[A::kFlags]);
    const uint8_t form = rec[A::kFormCode];
    if (form > 1) return fail(at, Format("form code %u", form));
    a.nonResident = form == 1;
    const size_t headerSize = a.nonResident ? A::kNonresidentSize : A::kResidentSize;
    if (length < headerSize) return fail(at, Format("attribute length 0x%X", length));
    const size_t nameUnits = rec[A::kNameLength];
    if (nameUnits != 0) {
      const size_t nameOffset = GetLe16(&rec[A::kNameOffset]);
      if (nameOffset < A::kCommonSize || nameOffset + 2 * nameUnits > length)
        return fail(at, "attribute name out of place");
      a.name = Utf16Name(&rec[nameOffset], nameUnits);
    }
    if (!a.nonResident) {
      const uint64_t valueLength = GetLe32(&rec[A::kValueLength]);
      const uint64_t valueOffset = GetLe16(&rec[A::kValueOffset]);
      if (valueLength != 0 && (valueOffset < A::kResidentSize || valueOffset + valueLength > length))
        return fail(at, "resident value out of place");
      a.valueOffset = at + static_cast<uint32_t>(valueOffset);
      a.value.assign(rec.begin() + static_cast<ptrdiff_t>(valueOffset),
                     rec.begin() + static_cast<ptrdiff_t>(valueOffset + valueLength));
    } else {
      a.lowestVcn = static_cast<int64_t>(GetLe64(&rec[A::kLowestVcn]));
      a.highestVcn = static_cast<int64_t>(GetLe64(&rec[A::kHighestVcn]));
      const int64_t allocated = static_cast<int64_t>(GetLe64(&rec[A::kAllocatedLength]));
      const int64_t size = static_cast<int64_t>(GetLe64(&rec[A::kFileSize]));
      const int64_t valid = static_cast<int64_t>(GetLe64(&rec[A::kValidDataLength]));
      if (a.lowestVcn < 0 || a.highestVcn < a.lowestVcn - 1 || allocated < 0 || size < 0 || valid < 0)
        return fail(at, "non-resident sizes out of range");
      a.allocatedBytes = static_cast<uint64_t>(allocated);
      a.dataBytes = static_cast<uint64_t>(size);
      a.validBytes = static_cast<uint64_t>(valid);
      const size_t pairs = GetLe16(&rec[A::kMappingPairsOffset]);
      if (pairs < A::kNonresidentSize || pairs >= length) return fail(at, "run list out of place");
      RunListResult runs = DecodeRunList(rec.subspan(pairs), a.lowestVcn, length);
      if (!runs.error.empty()) return fail(at, "run list: " + runs.error);
      uint64_t clusters = 0;
      for (const Run& r : runs.runs) clusters += r.clusters;
      if (clusters != static_cast<uint64_t>(a.highestVcn - a.lowestVcn + 1))
        return fail(at, "run list does not cover its VCNs");
      a.runs = std::move(runs.runs);
    }
    out.attributes.push_back(std::move(a));
    at += length;
  }
}

std::string NtfsVolume::LbaText(uint64_t volumeByte) const {
  const uint64_t vlba = volumeByte / source_.SectorSize();
  return Format("[VLBA:0x%08llX,  Sectors: %-5u] (LBA:0x%08llX)", static_cast<ull>(vlba),
                std::max(1u, geometry_.recordBytes / source_.SectorSize()), static_cast<ull>(startLba_ + vlba));
}

int32_t NtfsVolume::Open(SectorSource& source, uint64_t startLba, const LineOut& out, bool verbose,
                         std::unique_ptr<NtfsVolume>& volume) {
  volume.reset();
  const uint32_t sectorSize = source.SectorSize();
  if (sectorSize == 0) return code::kBadParameter;
  std::vector<uint8_t> boot(std::max<size_t>(sectorSize, ntfs::PackedBootSector::kSize));
  if (int32_t rc = ReadBytes(source, 0, boot); rc != 1) return rc;
  const auto line = [&](std::string_view text, uint32_t colour) {
    if (out) out(text, colour);
  };
  if (std::memcmp(&boot[ntfs::PackedBootSector::kOemId], "NTFS", 4) != 0)
    line("NTFS Signature Error", line_colour::kRed);
  std::string why;
  std::optional<Geometry> g = GeometryOf(boot, source.SectorCount() * sectorSize, why);
  if (!g) {
    line("NTFS Geometry Error: " + why, line_colour::kRed);
    return code::kInvalidData;
  }
  std::unique_ptr<NtfsVolume> v(new NtfsVolume(source, startLba, out, *g));
  // Record 0 lies at the boot sector's MFT cluster; its $DATA is the map for every other record.
  const uint64_t firstClusters = (g->recordBytes + g->clusterBytes - 1) / g->clusterBytes;
  v->mftRuns_ = {Run{0, static_cast<int64_t>(g->mftLcn), firstClusters}};
  v->recordCount_ = 1;
  // First the piece of $DATA in record 0 itself; a long MFT continues in the extension records its
  // $ATTRIBUTE_LIST names, which that first piece reaches.
  for (bool whole : {false, true}) {
    Record mft;
    const RecordStatus status = whole ? v->ReadFile(ntfs::kMftRecord, mft, false)
                                      : v->ReadRecord(ntfs::kMftRecord, mft, verbose);
    if (status == RecordStatus::kReadFailed) return mft.readCode;
    const Attribute* data = mft.Find(ntfs::kData);
    if (status != RecordStatus::kOk || !data || !data->nonResident || data->runs.empty() || data->lowestVcn != 0) {
      line("MFT $DATA Error", line_colour::kRed);
      return code::kInvalidData;
    }
    if (!v->SetMftMap(data->runs, data->dataBytes)) {
      line("MFT $DATA Error: a run outside the volume", line_colour::kRed);
      return code::kInvalidData;
    }
    if (!mft.Find(ntfs::kAttributeList)) break;
  }
  if (verbose) v->PrintMftMap();
  volume = std::move(v);
  return 1;
}

bool NtfsVolume::SetMftMap(const std::vector<Run>& runs, uint64_t dataBytes) {
  const uint64_t volumeClusters = geometry_.volumeBytes / geometry_.clusterBytes;
  uint64_t mapped = 0;
  int64_t vcn = 0;
  for (const Run& r : runs) {
    if (r.vcn != vcn || r.lcn == kSparseLcn || static_cast<uint64_t>(r.lcn) > volumeClusters ||
        r.clusters > volumeClusters - static_cast<uint64_t>(r.lcn))
      return false;
    vcn += static_cast<int64_t>(r.clusters);
    mapped += r.clusters * geometry_.clusterBytes;
  }
  mftRuns_ = runs;
  recordCount_ = std::min(dataBytes, mapped) / geometry_.recordBytes;
  return true;
}

void NtfsVolume::PrintMftMap() {
  Line(Format("       Detail of Attrib:[0x%02X] %s", ntfs::kData, "$DATA"), line_colour::kWhite);
  for (const Run& r : mftRuns_) {
    const uint64_t first = static_cast<uint64_t>(r.vcn) * geometry_.clusterBytes / geometry_.recordBytes;
    const uint64_t end = (static_cast<uint64_t>(r.vcn) + r.clusters) * geometry_.clusterBytes / geometry_.recordBytes;
    const uint64_t vlba = static_cast<uint64_t>(r.lcn) * geometry_.clusterBytes / source_.SectorSize();
    Line(Format("       MFTId:0x%08llX - 0x%08llX    [VLBA:0x%08llX Sectors:%-5llu]", static_cast<ull>(first),
                static_cast<ull>(end == 0 ? 0 : end - 1), static_cast<ull>(vlba),
                static_cast<ull>(r.clusters * geometry_.clusterBytes / source_.SectorSize())),
         line_colour::kBlue);
  }
}

std::optional<uint64_t> NtfsVolume::MapStream(std::span<const Run> runs, uint64_t offset) const {
  const uint64_t vcn = offset / geometry_.clusterBytes;
  for (const Run& r : runs) {
    const uint64_t start = static_cast<uint64_t>(r.vcn);
    if (vcn < start || vcn - start >= r.clusters) continue;
    if (r.lcn == kSparseLcn) return std::nullopt;
    return (static_cast<uint64_t>(r.lcn) + (vcn - start)) * geometry_.clusterBytes + offset % geometry_.clusterBytes;
  }
  return std::nullopt;
}

int32_t NtfsVolume::ReadStream(std::span<const Run> runs, uint64_t offset, std::span<uint8_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t at = offset + done;
    const uint64_t vcn = at / geometry_.clusterBytes;
    const Run* run = nullptr;
    for (const Run& r : runs)
      if (vcn >= static_cast<uint64_t>(r.vcn) && vcn - static_cast<uint64_t>(r.vcn) < r.clusters) run = &r;
    if (!run) return code::kInvalidData;
    const uint64_t runEnd = (static_cast<uint64_t>(run->vcn) + run->clusters) * geometry_.clusterBytes;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(runEnd - at, out.size() - done));
    if (run->lcn == kSparseLcn) {
      std::memset(out.data() + done, 0, take);
    } else {
      const uint64_t volumeByte =
          (static_cast<uint64_t>(run->lcn) + (vcn - static_cast<uint64_t>(run->vcn))) * geometry_.clusterBytes +
          at % geometry_.clusterBytes;
      if (volumeByte > geometry_.volumeBytes || take > geometry_.volumeBytes - volumeByte) return code::kInvalidData;
      if (int32_t rc = ReadBytes(source_, volumeByte, out.subspan(done, take)); rc != 1) return rc;
    }
    done += take;
  }
  return 1;
}

RecordStatus NtfsVolume::Finish(RecordStatus status, const ParsedRecord& parsed, Record& out, bool verbose,
                                bool quietFree) {
  switch (status) {
    case RecordStatus::kNoSignature:
      if (!quietFree) Line("MFT Signature Error", line_colour::kRed);
      break;
    case RecordStatus::kFree:
      if (verbose) Line(Format("MftId:0x%08llX is not in use", static_cast<ull>(out.id)), line_colour::kGrey);
      break;
    case RecordStatus::kBadFixup:
      Line(parsed.error.empty() ? Format("Sector %u CheckWORD  Error", parsed.badStride)
                                : "Update Sequence Error: " + parsed.error,
           line_colour::kRed);
      break;
    case RecordStatus::kBadAttribute:
      Line(Format("Attribute Error (Offset:0x%02X) in MftId:0x%08llX: %s", parsed.badOffset, static_cast<ull>(out.id),
                  parsed.error.c_str()),
           line_colour::kRed);
      break;
    default:
      break;
  }
  return status;
}

RecordStatus NtfsVolume::ReadRecordBytes(uint64_t id, std::vector<uint8_t>& bytes, Record& out, bool verbose) {
  out = Record{};
  out.id = id;
  if (id >= recordCount_) return RecordStatus::kOutside;
  const uint64_t offset = id * geometry_.recordBytes;
  const std::optional<uint64_t> volumeByte = MapStream(mftRuns_, offset);
  if (!volumeByte) return RecordStatus::kOutside;
  out.volumeByte = *volumeByte;
  if (verbose) {
    Line(Format("## MFTid:0x%08llX", static_cast<ull>(id)), line_colour::kWhite);
    Line(LbaText(*volumeByte), line_colour::kWhite);
  }
  bytes.resize(geometry_.recordBytes);
  const int32_t rc = ReadStream(mftRuns_, offset, bytes);
  if (rc != 1) {
    out.readCode = rc;
    if (rc == code::kInvalidData) {
      Line("MFT Record outside the Volume", line_colour::kRed);
      return RecordStatus::kOutside;
    }
    return RecordStatus::kReadFailed;
  }
  return RecordStatus::kOk;
}

RecordStatus NtfsVolume::ReadRecord(uint64_t id, Record& out, bool verbose) {
  std::vector<uint8_t> bytes;
  if (RecordStatus s = ReadRecordBytes(id, bytes, out, verbose); s != RecordStatus::kOk) return s;
  const uint64_t volumeByte = out.volumeByte;
  const ParsedRecord parsed = ParseRecord(bytes, id, out);
  out.volumeByte = volumeByte;
  if (verbose) {
    for (const Attribute& a : out.attributes) {
      const std::string_view name = AttributeTypeName(a.type);
      Line(Format("Attrib:[0x%02X] (Offset:0x%02X) %.*s", a.type, a.offset, static_cast<int>(name.size()), name.data()),
           line_colour::kGrey);
      if (a.type == ntfs::kFileName) {
        if (auto n = FileNameValue(a.value))
          Line(Format("       FileName:%-20s, Parent:0x%08llX", n->name.c_str(), static_cast<ull>(n->parent)),
               line_colour::kGrey);
      }
    }
  }
  return Finish(parsed.status, parsed, out, verbose, false);
}

RecordStatus NtfsVolume::ReadFile(uint64_t id, Record& out, bool verbose) {
  const RecordStatus status = ReadRecord(id, out, verbose);
  if (status != RecordStatus::kOk) return status;
  const Attribute* list = out.Find(ntfs::kAttributeList);
  if (!list) return status;
  std::vector<uint8_t> value = list->value;
  if (list->nonResident) {
    if (list->dataBytes > kMaxAttributeListBytes) {
      Line("$ATTRIBUTE_LIST Error: too large", line_colour::kRed);
      return RecordStatus::kBadAttribute;
    }
    value.resize(list->dataBytes);
    const std::vector<Run> runs = list->runs;
    const int32_t rc = ReadStream(runs, 0, value);
    if (rc != 1) {
      Line("$ATTRIBUTE_LIST Error: runs do not hold the list", line_colour::kRed);
      out.readCode = rc;
      return rc == code::kInvalidData ? RecordStatus::kBadAttribute : RecordStatus::kReadFailed;
    }
  }
  // The extension records the list names, each read once.
  using E = ntfs::AttributeListEntry;
  std::vector<uint64_t> segments;
  std::set<uint64_t> seen{id};
  for (size_t at = 0; at < value.size();) {
    if (value.size() - at < E::kSize) break;  // padding at the end
    const size_t length = GetLe16(&value[at + E::kRecordLength]);
    const size_t nameEnd = value[at + E::kAttributeNameOffset] + 2 * size_t{value[at + E::kAttributeNameLength]};
    if (length < E::kSize || length > value.size() - at || nameEnd > length) {
      Line(Format("$ATTRIBUTE_LIST Error (Offset:0x%02zX) in MftId:0x%08llX", at, static_cast<ull>(id)),
           line_colour::kRed);
      return RecordStatus::kBadAttribute;
    }
    const uint64_t segment = ntfs::SegmentOf(GetLe64(&value[at + E::kSegmentReference]));
    if (seen.insert(segment).second) {
      if (segments.size() == kMaxExtensionRecords) {
        Line("$ATTRIBUTE_LIST Error: too many records", line_colour::kRed);
        return RecordStatus::kBadAttribute;
      }
      segments.push_back(segment);
    }
    at += length;
  }
  for (uint64_t segment : segments) {
    if (verbose) Line(Format("        Ref MftId:0x%08llX", static_cast<ull>(segment)), line_colour::kGrey);
    Record extension;
    const RecordStatus s = ReadRecord(segment, extension, verbose);
    if (s == RecordStatus::kReadFailed) {
      out.readCode = extension.readCode;
      return s;
    }
    if (s != RecordStatus::kOk || extension.baseId != id) {
      Line(Format("Extension MftId:0x%08llX does not belong to MftId:0x%08llX", static_cast<ull>(segment),
                  static_cast<ull>(id)),
           line_colour::kRed);
      continue;
    }
    for (Attribute& a : extension.attributes) {
      if (a.type == ntfs::kAttributeList) continue;
      out.attributes.push_back(std::move(a));
    }
  }
  // Pieces of one non-resident attribute (same type and name) join into the first, in VCN order.
  std::vector<Attribute> joined;
  for (Attribute& a : out.attributes) {
    Attribute* into = nullptr;
    if (a.nonResident) {
      for (Attribute& j : joined)
        if (j.nonResident && j.type == a.type && j.name == a.name) into = &j;
    }
    if (!into) {
      joined.push_back(std::move(a));
      continue;
    }
    if (a.lowestVcn == 0) std::swap(*into, a);  // the piece at VCN 0 carries the sizes
    into->runs.insert(into->runs.end(), a.runs.begin(), a.runs.end());
    std::sort(into->runs.begin(), into->runs.end(), [](const Run& x, const Run& y) { return x.vcn < y.vcn; });
    into->lowestVcn = std::min(into->lowestVcn, a.lowestVcn);
    into->highestVcn = std::max(into->highestVcn, a.highestVcn);
  }
  out.attributes = std::move(joined);
  return RecordStatus::kOk;
}

void NtfsVolume::PrintDetail(const Record& record) {
  for (const Attribute& a : record.attributes) {
    const std::string_view name = AttributeTypeName(a.type);
    std::string head = Format("       Detail of Attrib:[0x%02X] %.*s", a.type, static_cast<int>(name.size()), name.data());
    if (!a.name.empty()) head += " (" + a.name + ")";
    if (a.recordId != record.id) head += Format(" in MftId:0x%08llX", static_cast<ull>(a.recordId));
    Line(head, line_colour::kWhite);
    if (a.nonResident) {
      Line(Format("       Size:%llu  Allocated:%llu  Valid:%llu", static_cast<ull>(a.dataBytes),
                  static_cast<ull>(a.allocatedBytes), static_cast<ull>(a.validBytes)),
           line_colour::kGrey);
      for (const Run& r : a.runs) {
        if (r.lcn == kSparseLcn) {
          Line(Format("       RunList Sparse VCN:0x%08llX, Clusters:%-5llu", static_cast<ull>(r.vcn),
                      static_cast<ull>(r.clusters)),
               line_colour::kBlue);
          continue;
        }
        const uint64_t vlba = static_cast<uint64_t>(r.lcn) * geometry_.clusterBytes / source_.SectorSize();
        Line(Format("       RunList VLCN:0x%08llX, Clusters:%-5llu  [VLBA:0x%08llX, Sectors:%-5llu] (LBA:0x%08llX)",
                    static_cast<ull>(r.lcn), static_cast<ull>(r.clusters), static_cast<ull>(vlba),
                    static_cast<ull>(r.clusters * geometry_.clusterBytes / source_.SectorSize()),
                    static_cast<ull>(startLba_ + vlba)),
             line_colour::kBlue);
      }
      continue;
    }
    Line(Format("       Resident Value: %zu bytes (Offset:0x%02X)", a.value.size(), a.valueOffset), line_colour::kGrey);
    const size_t shown = std::min(a.value.size(), kShownValueBytes);
    for (size_t at = 0; at < shown; at += 16)
      Line(Hex16(std::span<const uint8_t>(a.value).first(shown), at), line_colour::kGrey);
  }
}

int32_t NtfsVolume::FindOwners(uint64_t firstSector, uint64_t count, bool firstOnly, std::vector<Owner>& owners) {
  owners.clear();
  const uint64_t sectorSize = source_.SectorSize();
  const uint64_t lastSector = firstSector + count - 1;
  const auto add = [&](Owner o) {
    if (!owners.empty()) {
      Owner& last = owners.back();
      if (last.mftId == o.mftId && last.type == o.type && last.attributeName == o.attributeName &&
          last.mftArea == o.mftArea && last.lastSector + 1 == o.firstSector) {
        last.lastSector = o.lastSector;
        return;
      }
    }
    owners.push_back(std::move(o));
  };
  // The sectors of [first, last] that lie in a run, as volume sectors.
  const auto overlap = [&](const Run& r, uint64_t& from, uint64_t& to) {
    if (r.lcn == kSparseLcn) return false;
    const uint64_t runFirst = static_cast<uint64_t>(r.lcn) * geometry_.clusterBytes / sectorSize;
    const uint64_t runLast = runFirst + r.clusters * geometry_.clusterBytes / sectorSize - 1;
    from = std::max(runFirst, firstSector);
    to = std::min(runLast, lastSector);
    return from <= to;
  };
  // The MFT's own area: every record its place, a record holding its file's resident data.
  for (const Run& r : mftRuns_) {
    uint64_t from = 0, to = 0;
    if (!overlap(r, from, to)) continue;
    for (uint64_t s = from; s <= to; ++s) {
      const uint64_t streamByte = static_cast<uint64_t>(r.vcn) * geometry_.clusterBytes +
                                  (s * sectorSize - static_cast<uint64_t>(r.lcn) * geometry_.clusterBytes);
      const uint64_t id = streamByte / geometry_.recordBytes;
      add(Owner{id, ntfs::kData, "", true, s, s});
    }
    if (firstOnly) return 1;
  }
  std::vector<uint8_t> chunk;
  const uint64_t perChunk = std::max<uint64_t>(1, kMaxReadBytes / geometry_.recordBytes);
  for (uint64_t id = 0; id < recordCount_; id += perChunk) {
    const uint64_t n = std::min(perChunk, recordCount_ - id);
    chunk.resize(static_cast<size_t>(n * geometry_.recordBytes));
    const int32_t rc = ReadStream(mftRuns_, id * geometry_.recordBytes, chunk);
    if (rc != 1) return rc;
    for (uint64_t i = 0; i < n; ++i) {
      std::span<uint8_t> bytes(chunk.data() + i * geometry_.recordBytes, geometry_.recordBytes);
      Record rec;
      const ParsedRecord parsed = ParseRecord(bytes, id + i, rec);
      if (parsed.status == RecordStatus::kNoSignature || parsed.status == RecordStatus::kFree) continue;
      if (parsed.status != RecordStatus::kOk) {
        // A damaged record is said and passed over: the owner may be in any other record.
        Finish(parsed.status, parsed, rec, false, true);
        if (parsed.status != RecordStatus::kBadAttribute) continue;
      }
      for (const Attribute& a : rec.attributes) {
        // The MFT's own runs are its area, answered above.
        if (!a.nonResident || (rec.id == ntfs::kMftRecord && a.type == ntfs::kData && a.name.empty())) continue;
        for (const Run& r : a.runs) {
          uint64_t from = 0, to = 0;
          if (!overlap(r, from, to)) continue;
          // Extension records map to their base record, which names the file.
          add(Owner{rec.baseId, a.type, a.name, false, from, to});
          if (firstOnly) return 1;
        }
      }
    }
  }
  std::sort(owners.begin(), owners.end(), [](const Owner& a, const Owner& b) { return a.firstSector < b.firstSector; });
  return 1;
}

int32_t NtfsVolume::PathOf(uint64_t id, std::string& path, bool print) {
  path.clear();
  std::set<uint64_t> visited;
  for (uint32_t depth = 0;; ++depth) {
    if (depth == kMaxPathDepth || !visited.insert(id).second) {
      Line(Format("Parent Chain Loop at MftId:0x%08llX", static_cast<ull>(id)), line_colour::kRed);
      return code::kInvalidData;
    }
    Record rec;
    const RecordStatus status = ReadFile(id, rec, false);
    if (status == RecordStatus::kReadFailed) return rec.readCode;
    if (status == RecordStatus::kOk && rec.baseId != id) {  // an extension record: its base names the file
      id = rec.baseId;
      continue;
    }
    std::optional<NameOf> best;
    if (status == RecordStatus::kOk) {
      for (const Attribute& a : rec.attributes) {
        if (a.type != ntfs::kFileName) continue;
        std::optional<NameOf> n = FileNameValue(a.value);
        if (n && (!best || best->nameSpace == ntfs::kFileNameDos)) best = std::move(n);
      }
    }
    if (!best) {
      Line(Format("No FileName in MftId:0x%08llX", static_cast<ull>(id)), line_colour::kRed);
      return code::kInvalidData;
    }
    if (print)
      Line(Format("MftId:0x%08llX     ParentMftId:0x%08llX", static_cast<ull>(id), static_cast<ull>(best->parent)),
           line_colour::kGrey);
    if (id == ntfs::kRootDirectory) return 1;
    path = "\\" + best->name + path;
    if (id == ntfs::kMftRecord) return 1;
    id = best->parent;
  }
}

int32_t NtfsVolume::SearchIndex(const Record& folder, std::string_view wanted, uint64_t& found) {
  using R = ntfs::IndexRoot;
  using H = ntfs::IndexHeader;
  using E = ntfs::IndexEntry;
  const Attribute* root = folder.Find(ntfs::kIndexRoot, "$I30");
  if (!root || root->nonResident || root->value.size() < R::kSize + H::kSize) {
    Line(Format("No Folder Index in MftId:0x%08llX", static_cast<ull>(folder.id)), line_colour::kRed);
    return code::kInvalidData;
  }
  const uint32_t blockBytes = GetLe32(&root->value[R::kBytesPerIndexBuffer]);
  const Attribute* allocation = folder.Find(ntfs::kIndexAllocation, "$I30");
  const uint32_t vcnBytes = blockBytes >= geometry_.clusterBytes ? geometry_.clusterBytes : ntfs::kSequenceStride;
  // One index node: its entries, a match, or the nodes below it to visit.
  std::vector<int64_t> pending;
  const auto walkNode = [&](std::span<const uint8_t> node, size_t header, uint64_t where) -> int32_t {
    const size_t first = GetLe32(&node[header + H::kFirstIndexEntry]);
    const size_t end = GetLe32(&node[header + H::kFirstFreeByte]);
    if (first < H::kSize || end > node.size() - header || first > end) {
      Line(Format("Index Error in MftId:0x%08llX (node 0x%llX)", static_cast<ull>(folder.id), static_cast<ull>(where)),
           line_colour::kRed);
      return code::kInvalidData;
    }
    for (size_t at = header + first; at < header + end;) {
      const size_t room = header + end - at;
      const size_t length = room >= E::kSize ? GetLe16(&node[at + E::kLength]) : 0;
      const size_t keyLength = room >= E::kSize ? GetLe16(&node[at + E::kAttributeLength]) : 0;
      const uint16_t flags = room >= E::kSize ? GetLe16(&node[at + E::kFlags]) : 0;
      const bool below = (flags & ntfs::kIndexEntryNode) != 0;
      if (length < E::kSize + (below ? 8u : 0u) || length % 8 != 0 || length > room ||
          E::kKey + keyLength > length - (below ? 8u : 0u)) {
        Line(Format("Index Entry Error in MftId:0x%08llX (node 0x%llX)", static_cast<ull>(folder.id),
                    static_cast<ull>(where)),
             line_colour::kRed);
        return code::kInvalidData;
      }
      if (below) pending.push_back(static_cast<int64_t>(GetLe64(&node[at + length - 8])));
      if ((flags & ntfs::kIndexEntryEnd) != 0) break;
      std::optional<NameOf> key = FileNameValue(node.subspan(at + E::kKey, keyLength));
      if (key && SameName(key->name, wanted)) {
        found = ntfs::SegmentOf(GetLe64(&node[at + E::kFileReference]));
        return 1;
      }
      at += length;
    }
    return 0;
  };
  const std::span<const uint8_t> rootValue(root->value);
  int32_t rc = walkNode(rootValue, R::kIndexHeader, 0);
  if (rc != 0) return rc;
  if (pending.empty()) return code::kFileOpenFailed;
  if (!allocation || !allocation->nonResident || !PowerOfTwo(blockBytes) || blockBytes < ntfs::kSequenceStride ||
      blockBytes > 65536) {
    Line(Format("Index Allocation Error in MftId:0x%08llX", static_cast<ull>(folder.id)), line_colour::kRed);
    return code::kInvalidData;
  }
  // Every node below the root once (a loop of node pointers ends at the visited set).
  std::set<int64_t> visited;
  std::vector<uint8_t> block(blockBytes);
  const uint64_t maxBlocks = allocation->dataBytes / blockBytes;
  while (!pending.empty()) {
    const int64_t vcn = pending.back();
    pending.pop_back();
    if (vcn < 0 || !visited.insert(vcn).second) continue;
    if (visited.size() > maxBlocks + 1) break;
    const uint64_t offset = static_cast<uint64_t>(vcn) * vcnBytes;
    if (offset >= allocation->dataBytes) {
      Line(Format("Index Error in MftId:0x%08llX: block 0x%llX past the index", static_cast<ull>(folder.id),
                  static_cast<ull>(vcn)),
           line_colour::kRed);
      return code::kInvalidData;
    }
    rc = ReadStream(allocation->runs, offset, block);
    if (rc != 1) return rc;
    if (std::memcmp(block.data(), "INDX", 4) != 0) {
      Line("INDX Signature Error", line_colour::kRed);
      return code::kInvalidData;
    }
    const FixupResult fix = ApplyFixup(block);
    if (fix.status != FixupStatus::kOk) {
      Line(Format("Sector %u CheckWORD  Error", fix.stride), line_colour::kRed);
      return code::kInvalidData;
    }
    if (static_cast<int64_t>(GetLe64(&block[ntfs::IndexAllocationBuffer::kThisBlock])) != vcn) {
      Line(Format("Index Error in MftId:0x%08llX: block 0x%llX names another", static_cast<ull>(folder.id),
                  static_cast<ull>(vcn)),
           line_colour::kRed);
      return code::kInvalidData;
    }
    rc = walkNode(block, ntfs::IndexAllocationBuffer::kIndexHeader, static_cast<uint64_t>(vcn));
    if (rc != 0) return rc;
  }
  return code::kFileOpenFailed;
}

int32_t NtfsVolume::Lookup(std::span<const std::string> components, uint64_t& id, bool print) {
  id = ntfs::kRootDirectory;
  for (const std::string& component : components) {
    if (print) Line("Search Next: " + component, line_colour::kGrey);
    Record folder;
    const RecordStatus status = ReadFile(id, folder, false);
    if (status == RecordStatus::kReadFailed) return folder.readCode;
    if (status != RecordStatus::kOk) return code::kInvalidData;
    uint64_t next = 0;
    const int32_t rc = SearchIndex(folder, component, next);
    if (rc == code::kFileOpenFailed) Line("Cannot Find: " + component, line_colour::kRed);
    if (rc != 1) return rc;
    id = next;
  }
  return 1;
}

int32_t NtfsVolume::DataExtents(const Record& file, FileMap& map) {
  map.extents.clear();
  map.mftId = file.id;
  const Attribute* data = file.Find(ntfs::kData);
  if (!data) {
    map.fileSize = 0;
    return 1;
  }
  if (!data->nonResident) {
    map.fileSize = data->value.size();
    if (!data->value.empty()) {
      // The value lies in the record; a record may span runs when clusters are smaller than it.
      const std::optional<uint64_t> at = MapStream(mftRuns_, data->recordId * geometry_.recordBytes + data->valueOffset);
      if (!at) return code::kInvalidData;
      map.mftId = data->recordId;
      map.extents.push_back({0, startLba_ * source_.SectorSize() + *at, data->value.size(), extent_flag::kResident});
    }
    return 1;
  }
  if ((data->flags & ntfs::kAttributeCompressionMask) != 0) return code::kNotSupported;
  map.fileSize = data->dataBytes;
  std::vector<FileExtent> extents;
  for (const Run& r : data->runs) {
    if (r.lcn == kSparseLcn) continue;
    extents.push_back({static_cast<uint64_t>(r.vcn) * geometry_.clusterBytes,
                       startLba_ * source_.SectorSize() + static_cast<uint64_t>(r.lcn) * geometry_.clusterBytes,
                       r.clusters * geometry_.clusterBytes, 0});
  }
  map.extents = CutToSize(std::move(extents), map.fileSize);
  return 1;
}

}  // namespace kestrune::fsmap
