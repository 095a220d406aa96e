#include "base/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "base/bytes.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::base {
namespace {

constexpr uint32_t kCentralSignature = 0x02014b50;       // "PK\1\2"
constexpr uint32_t kEndSignature = 0x06054b50;           // "PK\5\6"
constexpr uint32_t kZip64EndSignature = 0x06064b50;      // "PK\6\6"
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr size_t kStreamPiece = 256 * 1024;

// Random access to the archive's bytes: a buffer in memory or a file on disk.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads n bytes at offset; false when they are not all there.
  virtual bool Read(uint64_t offset, uint8_t* out, size_t n) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, uint8_t* out, size_t n) override {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    std::copy_n(bytes_.data() + offset, n, out);
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class FileSource final : public ByteSource {
 public:
  FileSource(FilePtr file, uint64_t size) : file_(std::move(file)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, uint8_t* out, size_t n) override {
    if (offset > size_ || n > size_ - offset) return false;
    if (!platform::SeekFile(file_.get(), offset)) return false;
    return std::fread(out, 1, n, file_.get()) == n;
  }

 private:
  FilePtr file_;
  uint64_t size_;
};

// How messages name the archive and its entries, and the bounds it is read under.
struct Rules {
  const char* archive;  // "package archive" or "zip archive"
  const char* entry;    // "package entry" or "zip entry"
  uint64_t maxArchive;
  uint64_t maxDirectory;
};

constexpr Rules kPackageRules{"package archive", "package entry", kMaxArchiveBytes, kMaxArchiveBytes};
constexpr Rules kFileRules{"zip archive", "zip entry", UINT64_MAX, kMaxCentralDirectoryBytes};

// A relative name that cannot leave the folder it is extracted into.
bool SafeEntryName(std::string_view name) {
  if (name.empty() || name.size() > 240) return false;
  if (name.front() == '/' || name.front() == '\\') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // drive letter
  if (name.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view part = name.substr(start, end - start);
    if (part == "..") return false;
    start = end + 1;
  }
  return true;
}

bool Inflate(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&z, Z_FINISH);
  bool ok = rc == Z_STREAM_END && z.total_out == out.size();
  inflateEnd(&z);
  return ok;
}

std::vector<uint8_t> Deflate(std::span<const uint8_t> in) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc32Of(std::span<const uint8_t> data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// Where the central directory is and how many entries it holds, from the end record and, when the
// archive has them, the ZIP64 end records.
struct DirectoryPlace {
  uint64_t count = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
  uint64_t limit = 0;  // the directory must end at or before this offset
};

bool FindDirectory(ByteSource& src, const Rules& rules, DirectoryPlace& place, std::string& error) {
  const uint64_t size = src.Size();
  if (size < kEndRecordSize || size > rules.maxArchive) {
    error = std::string(rules.archive) + " is empty, truncated or too large";
    return false;
  }
  // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
  const uint64_t tailSize = std::min<uint64_t>(size, kEndRecordSize + 0xFFFF);
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  const uint64_t tailStart = size - tailSize;
  if (!src.Read(tailStart, tail.data(), tail.size())) {
    error = std::string("cannot read the ") + rules.archive;
    return false;
  }
  std::optional<size_t> end;
  for (size_t pos = tail.size() - kEndRecordSize + 1; pos-- > 0;) {
    if (GetLe32(&tail[pos]) == kEndSignature) {
      end = pos;
      break;
    }
  }
  if (!end) {
    error = std::string(rules.archive) + " has no central directory (truncated?)";
    return false;
  }
  const uint8_t* e = &tail[*end];
  const uint64_t endOffset = tailStart + *end;
  place.count = GetLe16(e + 10);
  place.size = GetLe32(e + 12);
  place.offset = GetLe32(e + 16);
  place.limit = endOffset;

  // ZIP64: a locator right before the end record points at the ZIP64 end record, whose 64-bit
  // fields replace the saturated ones.
  const bool saturated =
      place.count == kSaturated16 || place.size == kSaturated32 || place.offset == kSaturated32;
  uint8_t locator[kZip64LocatorSize];
  const bool hasLocator = endOffset >= kZip64LocatorSize &&
                          src.Read(endOffset - kZip64LocatorSize, locator, sizeof locator) &&
                          GetLe32(locator) == kZip64LocatorSignature;
  if (hasLocator) {
    const uint64_t recordOffset = GetLe64(locator + 8);
    uint8_t record[kZip64EndRecordSize];
    if (recordOffset > endOffset - kZip64LocatorSize ||
        endOffset - kZip64LocatorSize - recordOffset < kZip64EndRecordSize ||
        !src.Read(recordOffset, record, sizeof record) || GetLe32(record) != kZip64EndSignature) {
      error = std::string(rules.archive) + " has a damaged ZIP64 end record";
      return false;
    }
    place.count = GetLe64(record + 32);
    place.size = GetLe64(record + 40);
    place.offset = GetLe64(record + 48);
    place.limit = recordOffset;
  } else if (saturated) {
    error = std::string(rules.archive) + " needs ZIP64 end records but has none (truncated?)";
    return false;
  }
  if (place.count > kMaxEntries || place.size > rules.maxDirectory || place.offset > place.limit ||
      place.size > place.limit - place.offset) {
    error = std::string(rules.archive) + " central directory is damaged";
    return false;
  }
  return true;
}

// The 64-bit values a ZIP64 extra field holds for the fields saturated in the header (in the order
// uncompressed size, compressed size, local header offset).
bool ApplyZip64Extra(std::span<const uint8_t> extra, ZipEntryInfo& info, bool offsetSaturated) {
  const bool sizeSaturated = info.size == kSaturated32;
  const bool packedSaturated = info.packedSize == kSaturated32;
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const uint16_t id = GetLe16(&extra[pos]);
    const size_t length = GetLe16(&extra[pos + 2]);
    pos += 4;
    if (length > extra.size() - pos) return false;
    if (id == kZip64ExtraId) {
      std::span<const uint8_t> field = extra.subspan(pos, length);
      size_t at = 0;
      auto take = [&](uint64_t& value) {
        if (at + 8 > field.size()) return false;
        value = GetLe64(&field[at]);
        at += 8;
        return true;
      };
      if (sizeSaturated && !take(info.size)) return false;
      if (packedSaturated && !take(info.packedSize)) return false;
      if (offsetSaturated && !take(info.localOffset)) return false;
      return true;
    }
    pos += length;
  }
  // Saturated fields without a ZIP64 field to give their values.
  return !sizeSaturated && !packedSaturated && !offsetSaturated;
}

struct DirectoryEntry {
  ZipEntryInfo info;
  uint16_t flags = 0;
};

bool ReadDirectory(ByteSource& src, const Rules& rules, std::vector<DirectoryEntry>& entries,
                   std::string& error) {
  entries.clear();
  DirectoryPlace place;
  if (!FindDirectory(src, rules, place, error)) return false;
  std::vector<uint8_t> dir(static_cast<size_t>(place.size));
  if (!src.Read(place.offset, dir.data(), dir.size())) {
    error = std::string(rules.archive) + " central directory is damaged";
    return false;
  }
  const std::string damaged = std::string(rules.archive) + " central directory is damaged";
  size_t pos = 0;
  for (uint64_t i = 0; i < place.count; ++i) {
    if (pos + kCentralHeaderSize > dir.size() || GetLe32(&dir[pos]) != kCentralSignature) {
      error = damaged;
      return false;
    }
    const uint8_t* c = &dir[pos];
    DirectoryEntry entry;
    entry.flags = GetLe16(c + 8);
    entry.info.method = GetLe16(c + 10);
    entry.info.crc = GetLe32(c + 16);
    entry.info.packedSize = GetLe32(c + 20);
    entry.info.size = GetLe32(c + 24);
    const size_t nameLength = GetLe16(c + 28);
    const size_t extraLength = GetLe16(c + 30);
    const size_t commentLength = GetLe16(c + 32);
    const uint32_t localOffset = GetLe32(c + 42);
    entry.info.localOffset = localOffset;
    const size_t recordLength = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (recordLength > dir.size() - pos) {
      error = damaged;
      return false;
    }
    entry.info.name.assign(reinterpret_cast<const char*>(c + kCentralHeaderSize), nameLength);
    std::span<const uint8_t> extra(c + kCentralHeaderSize + nameLength, extraLength);
    if (!ApplyZip64Extra(extra, entry.info, localOffset == kSaturated32)) {
      error = std::string(rules.entry) + " has a damaged ZIP64 field: " + entry.info.name;
      return false;
    }
    pos += recordLength;
    entries.push_back(std::move(entry));
  }
  return true;
}

// The checks every entry passes before its bytes are read.
bool CheckEntry(const DirectoryEntry& e, const Rules& rules, std::string& error) {
  if (!SafeEntryName(e.info.name)) {
    error = std::string(rules.entry) + " has an unsafe name: " + e.info.name;
    return false;
  }
  if (e.flags & 0x1) {
    error = std::string(rules.entry) + " is encrypted: " + e.info.name;
    return false;
  }
  if (e.info.method != 0 && e.info.method != 8) {
    error = std::string(rules.entry) + " uses an unsupported compression method: " + e.info.name;
    return false;
  }
  return true;
}

// Where the entry's compressed bytes start, after its local header (which must carry one of the
// signatures allowed).
bool LocateData(ByteSource& src, const DirectoryEntry& e, const Rules& rules, bool standardAllowed,
                bool packageAllowed, uint64_t& dataStart, std::string& error) {
  uint8_t local[kLocalHeaderSize];
  if (!src.Read(e.info.localOffset, local, sizeof local) ||
      !((packageAllowed &&
         std::equal(std::begin(kLocalHeaderSignature), std::end(kLocalHeaderSignature), local)) ||
        (standardAllowed && std::equal(std::begin(kStandardLocalHeaderSignature),
                                       std::end(kStandardLocalHeaderSignature), local)))) {
    error = std::string(rules.entry) + " has a bad local header signature: " + e.info.name;
    return false;
  }
  dataStart = e.info.localOffset + kLocalHeaderSize + GetLe16(local + 26) + GetLe16(local + 28);
  if (dataStart > src.Size() || e.info.packedSize > src.Size() - dataStart) {
    error = std::string(rules.entry) + " is truncated: " + e.info.name;
    return false;
  }
  return true;
}

void AppendZip64Extra(std::vector<uint8_t>& out, std::initializer_list<uint64_t> values) {
  AppendLe16(out, kZip64ExtraId);
  AppendLe16(out, static_cast<uint16_t>(8 * values.size()));
  for (uint64_t v : values) AppendLe64(out, v);
}

}  // namespace

bool ReadZip(std::span<const uint8_t> zip, std::vector<ZipEntry>& entries, std::string& error) {
  entries.clear();
  MemorySource src(zip);
  std::vector<DirectoryEntry> dir;
  if (!ReadDirectory(src, kPackageRules, dir, error)) return false;
  uint64_t total = 0;
  for (const DirectoryEntry& d : dir) {
    const std::string& name = d.info.name;
    if (!CheckEntry(d, kPackageRules, error)) return false;
    if (d.info.size > kMaxEntryBytes || (total += d.info.size) > kMaxArchiveBytes) {
      error = "package entry is larger than allowed: " + name;
      return false;
    }
    uint64_t dataStart = 0;
    if (!LocateData(src, d, kPackageRules, false, true, dataStart, error)) return false;
    std::span<const uint8_t> raw =
        zip.subspan(static_cast<size_t>(dataStart), static_cast<size_t>(d.info.packedSize));

    ZipEntry entry;
    entry.name = name;
    std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    if (d.info.method == 0) {
      if (d.info.packedSize != d.info.size) {
        error = "package entry is truncated: " + name;
        return false;
      }
      entry.data.assign(raw.begin(), raw.end());
    } else {
      entry.data.resize(static_cast<size_t>(d.info.size));
      if (!Inflate(raw, entry.data)) {
        error = "package entry does not inflate (damaged or truncated): " + name;
        return false;
      }
    }
    if (Crc32Of(entry.data) != d.info.crc) {
      error = "package entry fails its CRC-32 check: " + name;
      return false;
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, bool packageSignature, bool zip64) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> central;
  const uint16_t version = zip64 ? 45 : 20;
  for (const ZipEntry& e : entries) {
    std::vector<uint8_t> packed = Deflate(e.data);
    bool stored = packed.size() >= e.data.size();
    const std::vector<uint8_t>& body = stored ? e.data : packed;
    uint32_t crc = Crc32Of(e.data);
    const uint64_t offset = out.size();
    uint16_t method = stored ? 0 : 8;
    const uint32_t packedField = zip64 ? kSaturated32 : static_cast<uint32_t>(body.size());
    const uint32_t sizeField = zip64 ? kSaturated32 : static_cast<uint32_t>(e.data.size());

    if (packageSignature)
      out.insert(out.end(), std::begin(kLocalHeaderSignature), std::end(kLocalHeaderSignature));
    else
      out.insert(out.end(), std::begin(kStandardLocalHeaderSignature),
                 std::end(kStandardLocalHeaderSignature));
    AppendLe16(out, version);
    AppendLe16(out, 0);  // flags
    AppendLe16(out, method);
    AppendLe16(out, 0);     // time
    AppendLe16(out, 0x21);  // date 1980-01-01
    AppendLe32(out, crc);
    AppendLe32(out, packedField);
    AppendLe32(out, sizeField);
    AppendLe16(out, static_cast<uint16_t>(e.name.size()));
    AppendLe16(out, zip64 ? 20 : 0);
    out.insert(out.end(), e.name.begin(), e.name.end());
    if (zip64) AppendZip64Extra(out, {e.data.size(), body.size()});
    out.insert(out.end(), body.begin(), body.end());

    AppendLe32(central, kCentralSignature);
    AppendLe16(central, version);
    AppendLe16(central, version);
    AppendLe16(central, 0);
    AppendLe16(central, method);
    AppendLe16(central, 0);
    AppendLe16(central, 0x21);
    AppendLe32(central, crc);
    AppendLe32(central, packedField);
    AppendLe32(central, sizeField);
    AppendLe16(central, static_cast<uint16_t>(e.name.size()));
    AppendLe16(central, zip64 ? 28 : 0);  // extra
    AppendLe16(central, 0);               // comment
    AppendLe16(central, 0);               // disk
    AppendLe16(central, 0);               // internal attributes
    AppendLe32(central, 0);               // external attributes
    AppendLe32(central, zip64 ? kSaturated32 : static_cast<uint32_t>(offset));
    central.insert(central.end(), e.name.begin(), e.name.end());
    if (zip64) AppendZip64Extra(central, {e.data.size(), body.size(), offset});
  }
  const uint64_t dirOffset = out.size();
  out.insert(out.end(), central.begin(), central.end());
  if (zip64) {
    const uint64_t recordOffset = out.size();
    AppendLe32(out, kZip64EndSignature);
    AppendLe64(out, kZip64EndRecordSize - 12);  // the record's size after this field
    AppendLe16(out, 45);                        // made by
    AppendLe16(out, 45);                        // needed
    AppendLe32(out, 0);                         // this disk
    AppendLe32(out, 0);                         // directory's disk
    for (uint64_t v :
         {uint64_t{entries.size()}, uint64_t{entries.size()}, uint64_t{central.size()}, dirOffset})
      AppendLe64(out, v);
    AppendLe32(out, kZip64LocatorSignature);
    AppendLe32(out, 0);  // the record's disk
    AppendLe64(out, recordOffset);
    AppendLe32(out, 1);  // disks in all
  }
  AppendLe32(out, kEndSignature);
  AppendLe16(out, 0);
  AppendLe16(out, 0);
  AppendLe16(out, zip64 ? kSaturated16 : static_cast<uint16_t>(entries.size()));
  AppendLe16(out, zip64 ? kSaturated16 : static_cast<uint16_t>(entries.size()));
  AppendLe32(out, zip64 ? kSaturated32 : static_cast<uint32_t>(central.size()));
  AppendLe32(out, zip64 ? kSaturated32 : static_cast<uint32_t>(dirOffset));
  AppendLe16(out, 0);
  return out;
}

bool ExtractPackage(std::span<const uint8_t> archive, const std::string& folder, platform::Host& host,
                    std::string& error) {
  std::vector<ZipEntry> entries;
  if (!ReadZip(archive, entries, error)) return false;
  for (const ZipEntry& e : entries) {
    std::string path = folder;
    std::string_view rest = e.name;
    // Create each folder level below the work folder, then the file itself.
    for (size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
      path = platform::JoinPath(path, rest.substr(0, slash));
      if (!host.CreateFolders(path)) {
        error = "cannot create folder " + path;
        return false;
      }
    }
    if (rest.empty()) continue;  // a folder entry
    path = platform::JoinPath(path, rest);
    if (!platform::WriteWholeFile(path, e.data)) {
      error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

namespace {

std::unique_ptr<FileSource> OpenArchiveFile(const std::string& path, std::string& error) {
  std::optional<uint64_t> size = platform::FileSizeOf(path);
  FilePtr file(size ? platform::OpenReadFile(path) : nullptr);
  if (!file) {
    error = "cannot open the zip archive " + path;
    return nullptr;
  }
  return std::make_unique<FileSource>(std::move(file), *size);
}

// Copies or inflates the entry's bytes from src into out in pieces, with the size, the bound and
// the CRC checked as they come.
bool StreamEntry(ByteSource& src, const ZipEntryInfo& e, uint64_t dataStart, std::FILE* out,
                 const ZipProgress& progress, std::string& error) {
  const std::string name = e.name;
  std::vector<uint8_t> in(kStreamPiece);
  std::vector<uint8_t> inflated(kStreamPiece);
  uLong crc = crc32(0, Z_NULL, 0);
  uint64_t written = 0;
  uint64_t readPos = dataStart;
  uint64_t remaining = e.packedSize;
  // Takes produced bytes: the bound, the CRC, the file, the progress.
  auto take = [&](const uint8_t* data, size_t n) {
    if (n > e.size - written) {
      error = "zip entry holds more than its declared size: " + name;
      return false;
    }
    crc = crc32(crc, data, static_cast<uInt>(n));
    if (std::fwrite(data, 1, n, out) != n) {
      error = "cannot write the entry " + name + " (disk full?)";
      return false;
    }
    written += n;
    if (progress && !progress(written, e.size)) {
      error = "extraction of " + name + " was cancelled";
      return false;
    }
    return true;
  };
  auto readPiece = [&](size_t& n) {
    n = static_cast<size_t>(std::min<uint64_t>(remaining, in.size()));
    if (!src.Read(readPos, in.data(), n)) {
      error = "cannot read the zip archive at entry " + name;
      return false;
    }
    readPos += n;
    remaining -= n;
    return true;
  };

  if (e.method == 0) {
    while (remaining > 0) {
      size_t n = 0;
      if (!readPiece(n) || !take(in.data(), n)) return false;
    }
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
      error = "cannot start inflating " + name;
      return false;
    }
    std::unique_ptr<z_stream, int (*)(z_stream*)> ender(&z, inflateEnd);
    for (;;) {
      if (z.avail_in == 0 && remaining > 0) {
        size_t n = 0;
        if (!readPiece(n)) return false;
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(n);
      }
      z.next_out = inflated.data();
      z.avail_out = static_cast<uInt>(inflated.size());
      const int rc = inflate(&z, Z_NO_FLUSH);
      const size_t produced = inflated.size() - z.avail_out;
      if (produced > 0 && !take(inflated.data(), produced)) return false;
      if (rc == Z_STREAM_END) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        error = "zip entry does not inflate (damaged): " + name;
        return false;
      }
      if (produced == 0 && z.avail_in == 0 && remaining == 0) {
        error = "zip entry ends before its deflate stream does (truncated): " + name;
        return false;
      }
    }
  }
  if (written != e.size) {
    error = "zip entry is shorter than its declared size: " + name;
    return false;
  }
  if (static_cast<uint32_t>(crc) != e.crc) {
    error = "zip entry fails its CRC-32 check: " + name;
    return false;
  }
  return true;
}

}  // namespace

bool ListZipFile(const std::string& path, std::vector<ZipEntryInfo>& entries, std::string& error) {
  entries.clear();
  std::unique_ptr<FileSource> src = OpenArchiveFile(path, error);
  if (!src) return false;
  std::vector<DirectoryEntry> dir;
  if (!ReadDirectory(*src, kFileRules, dir, error)) return false;
  for (DirectoryEntry& d : dir) entries.push_back(std::move(d.info));
  return true;
}

bool ExtractZipEntryToFile(const std::string& zipPath, std::string_view entryName,
                           const std::string& destPath, std::string& error, const ZipProgress& progress) {
  std::unique_ptr<FileSource> src = OpenArchiveFile(zipPath, error);
  if (!src) return false;
  std::vector<DirectoryEntry> dir;
  if (!ReadDirectory(*src, kFileRules, dir, error)) return false;
  auto found =
      std::find_if(dir.begin(), dir.end(), [&](const DirectoryEntry& d) { return d.info.name == entryName; });
  if (found == dir.end()) {
    error = "the zip archive holds no " + std::string(entryName);
    return false;
  }
  const DirectoryEntry& d = *found;
  if (!CheckEntry(d, kFileRules, error)) return false;
  const bool stored = d.info.method == 0;
  if (d.info.size > kMaxStreamedEntryBytes || (stored && d.info.size != d.info.packedSize) ||
      (!stored && d.info.size / kMaxInflateRatio > d.info.packedSize)) {
    error = "zip entry declares a size its data cannot hold: " + d.info.name;
    return false;
  }
  uint64_t dataStart = 0;
  if (!LocateData(*src, d, kFileRules, true, true, dataStart, error)) return false;
  FilePtr out(platform::OpenWriteFile(destPath));
  if (!out) {
    error = "cannot create " + destPath;
    return false;
  }
  if (!StreamEntry(*src, d.info, dataStart, out.get(), progress, error)) return false;
  if (std::fflush(out.get()) != 0 || std::fclose(out.release()) != 0) {
    error = "cannot write " + destPath + " (disk full?)";
    return false;
  }
  return true;
}

}  // namespace kestrune::base
