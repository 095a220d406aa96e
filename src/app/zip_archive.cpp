#include "app/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>

#include "base/bytes.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::app {
namespace {

using base::AppendLe16;
using base::AppendLe32;
using base::GetLe16;
using base::GetLe32;

constexpr uint32_t kCentralSignature = 0x02014b50;  // "PK\1\2"
constexpr uint32_t kEndSignature = 0x06054b50;      // "PK\5\6"
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;

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

uint32_t Crc32(std::span<const uint8_t> data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

}  // namespace

bool ReadZip(std::span<const uint8_t> zip, std::vector<ZipEntry>& entries, std::string& error) {
  entries.clear();
  if (zip.size() < kEndRecordSize || zip.size() > kMaxArchiveBytes) {
    error = "package archive is empty, truncated or too large";
    return false;
  }
  // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
  size_t end = std::string_view::npos;
  size_t lowest = zip.size() > kEndRecordSize + 0xFFFF ? zip.size() - kEndRecordSize - 0xFFFF : 0;
  for (size_t pos = zip.size() - kEndRecordSize + 1; pos-- > lowest;) {
    if (GetLe32(&zip[pos]) == kEndSignature) {
      end = pos;
      break;
    }
  }
  if (end == std::string_view::npos) {
    error = "package archive has no central directory (truncated?)";
    return false;
  }
  size_t count = GetLe16(&zip[end + 10]);
  uint64_t dirSize = GetLe32(&zip[end + 12]);
  uint64_t dirOffset = GetLe32(&zip[end + 16]);
  if (count > kMaxEntries || dirOffset + dirSize > end) {
    error = "package archive central directory is damaged";
    return false;
  }

  uint64_t total = 0;
  size_t pos = static_cast<size_t>(dirOffset);
  for (size_t i = 0; i < count; ++i) {
    if (pos + kCentralHeaderSize > end || GetLe32(&zip[pos]) != kCentralSignature) {
      error = "package archive central directory is damaged";
      return false;
    }
    const uint8_t* c = &zip[pos];
    uint16_t flags = GetLe16(c + 8);
    uint16_t method = GetLe16(c + 10);
    uint32_t crc = GetLe32(c + 16);
    uint64_t packed = GetLe32(c + 20);
    uint64_t size = GetLe32(c + 24);
    size_t nameLength = GetLe16(c + 28);
    size_t extraLength = GetLe16(c + 30);
    size_t commentLength = GetLe16(c + 32);
    uint64_t localOffset = GetLe32(c + 42);
    if (pos + kCentralHeaderSize + nameLength > end) {
      error = "package archive central directory is damaged";
      return false;
    }
    std::string name(reinterpret_cast<const char*>(c + kCentralHeaderSize), nameLength);
    pos += kCentralHeaderSize + nameLength + extraLength + commentLength;

    if (!SafeEntryName(name)) {
      error = "package entry has an unsafe name: " + name;
      return false;
    }
    if (flags & 0x1) {
      error = "package entry is encrypted: " + name;
      return false;
    }
    if (size > kMaxEntryBytes || (total += size) > kMaxArchiveBytes) {
      error = "package entry is larger than allowed: " + name;
      return false;
    }
    if (localOffset + kLocalHeaderSize > zip.size() ||
        !std::equal(std::begin(kLocalHeaderSignature), std::end(kLocalHeaderSignature), &zip[localOffset])) {
      error = "package entry has a bad local header signature: " + name;
      return false;
    }
    const uint8_t* l = &zip[localOffset];
    uint64_t dataStart = localOffset + kLocalHeaderSize + GetLe16(l + 26) + GetLe16(l + 28);
    if (dataStart + packed > zip.size()) {
      error = "package entry is truncated: " + name;
      return false;
    }
    std::span<const uint8_t> raw = zip.subspan(static_cast<size_t>(dataStart), static_cast<size_t>(packed));

    ZipEntry entry;
    entry.name = name;
    std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    if (method == 0) {
      if (packed != size) {
        error = "package entry is truncated: " + name;
        return false;
      }
      entry.data.assign(raw.begin(), raw.end());
    } else if (method == 8) {
      entry.data.resize(static_cast<size_t>(size));
      if (!Inflate(raw, entry.data)) {
        error = "package entry does not inflate (damaged or truncated): " + name;
        return false;
      }
    } else {
      error = "package entry uses an unsupported compression method: " + name;
      return false;
    }
    if (Crc32(entry.data) != crc) {
      error = "package entry fails its CRC-32 check: " + name;
      return false;
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

std::vector<uint8_t> WriteZip(const std::vector<ZipEntry>& entries, bool packageSignature) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> central;
  for (const ZipEntry& e : entries) {
    std::vector<uint8_t> packed = Deflate(e.data);
    bool stored = packed.size() >= e.data.size();
    const std::vector<uint8_t>& body = stored ? e.data : packed;
    uint32_t crc = Crc32(e.data);
    uint32_t offset = static_cast<uint32_t>(out.size());
    uint16_t method = stored ? 0 : 8;

    if (packageSignature)
      out.insert(out.end(), std::begin(kLocalHeaderSignature), std::end(kLocalHeaderSignature));
    else
      AppendLe32(out, 0x04034b50);
    AppendLe16(out, 20);  // version needed
    AppendLe16(out, 0);   // flags
    AppendLe16(out, method);
    AppendLe16(out, 0);   // time
    AppendLe16(out, 0x21);  // date 1980-01-01
    AppendLe32(out, crc);
    AppendLe32(out, static_cast<uint32_t>(body.size()));
    AppendLe32(out, static_cast<uint32_t>(e.data.size()));
    AppendLe16(out, static_cast<uint16_t>(e.name.size()));
    AppendLe16(out, 0);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), body.begin(), body.end());

    AppendLe32(central, kCentralSignature);
    AppendLe16(central, 20);
    AppendLe16(central, 20);
    AppendLe16(central, 0);
    AppendLe16(central, method);
    AppendLe16(central, 0);
    AppendLe16(central, 0x21);
    AppendLe32(central, crc);
    AppendLe32(central, static_cast<uint32_t>(body.size()));
    AppendLe32(central, static_cast<uint32_t>(e.data.size()));
    AppendLe16(central, static_cast<uint16_t>(e.name.size()));
    AppendLe16(central, 0);  // extra
    AppendLe16(central, 0);  // comment
    AppendLe16(central, 0);  // disk
    AppendLe16(central, 0);  // internal attributes
    AppendLe32(central, 0);  // external attributes
    AppendLe32(central, offset);
    central.insert(central.end(), e.name.begin(), e.name.end());
  }
  uint32_t dirOffset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), central.begin(), central.end());
  AppendLe32(out, kEndSignature);
  AppendLe16(out, 0);
  AppendLe16(out, 0);
  AppendLe16(out, static_cast<uint16_t>(entries.size()));
  AppendLe16(out, static_cast<uint16_t>(entries.size()));
  AppendLe32(out, static_cast<uint32_t>(central.size()));
  AppendLe32(out, dirOffset);
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

}  // namespace kestrune::app
