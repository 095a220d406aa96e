// The bytes of the file tests: the pattern and offset marks that File_Write lays over a file and
// File_CompareWithPattern expects, the first difference of two pieces, and the window that reads a
// piece of a file whatever the alignment the file's unbuffered reads need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/io_buffer.h"
#include "platform/job_files.h"

namespace kestrune::workloads {

// Every 512 bytes of file data begin with the byte offset of that unit in the file as a 64-bit
// little-endian number.
inline constexpr uint32_t kFileMarkUnit = 512;
inline constexpr uint32_t kFileMarkBytes = 8;

// Stamps the marks of the units that lie (wholly or in part) in piece, which holds the file's bytes
// from fileOffset on; a mark cut by the piece's ends keeps only its bytes inside the piece.
void StampFileMarks(std::span<uint8_t> piece, uint64_t fileOffset);

// The pattern as a file holds it: byte p of the file is byte p mod 4 of the pattern's big-endian
// bytes (File_Write lays it from the file's start), and with marks the offset marks over it.
void ExpectedFilePiece(std::span<uint8_t> piece, uint64_t fileOffset, uint32_t pattern, bool marks);

// The index of the first byte where a and b differ (over the shorter length, then the longer's
// extra bytes count as different); nullopt when they are equal.
std::optional<size_t> FirstDifference(std::span<const uint8_t> a, std::span<const uint8_t> b);

// Reads pieces of up to maxBytes of one file. For a file with unbuffered reads the read covers the
// aligned window around the piece (the offset rounded down, the end rounded up to
// platform::kFileAlignment) and the piece is taken out of it.
class FileWindow {
 public:
  explicit FileWindow(size_t maxBytes)
      : buffer_(platform::IoBuffer::Make(maxBytes + 2 * platform::kFileAlignment)) {}
  bool ok() const { return buffer_ != nullptr; }

  // The bytes of file from offset, length at most maxBytes: fewer at the end of the file; nullopt
  // when the read fails (io.why says why). The span lives until the next Read.
  std::optional<std::span<const uint8_t>> Read(platform::JobFile& file, uint64_t offset, size_t length,
                                               platform::FileIo& io);

 private:
  std::shared_ptr<platform::IoBuffer> buffer_;
};

}  // namespace kestrune::workloads
