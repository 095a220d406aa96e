#include "sim/volume_image.h"

#include <zlib.h>

#include <vector>

#include "base/text.h"
#include "platform/files.h"

namespace kestrune::sim {

bool CopyVolumeImage(SimDrive& drive, const VolumeDescription& volume, std::string& error) {
  const std::string& path = volume.imagePath;
#ifdef _WIN32
  gzFile file = gzopen_w(platform::FsPath(path).c_str(), "rb");
#else
  gzFile file = gzopen(path.c_str(), "rb");
#endif
  if (!file) {
    error = "cannot open the volume image " + path;
    return false;
  }
  auto lock = drive.Lock();
  constexpr unsigned kChunk = 1u << 20;
  std::vector<uint8_t> chunk(kChunk);
  uint64_t copied = 0;
  bool ok = true;
  for (;;) {
    const int got = gzread(file, chunk.data(), kChunk);
    if (got < 0) {
      error = "the volume image " + path + " does not decompress";
      ok = false;
      break;
    }
    if (got == 0) {
      int status = Z_OK;
      gzerror(file, &status);  // a stream cut short ends as an error, not as the image's end
      if (status != Z_OK && status != Z_STREAM_END) {
        error = "the volume image " + path + " does not decompress";
        ok = false;
      }
      break;
    }
    if (static_cast<uint64_t>(got) > volume.sizeBytes - copied) {
      error = base::Format("the volume image %s is larger than volume %c: (%llu bytes)", path.c_str(), volume.letter,
                           static_cast<unsigned long long>(volume.sizeBytes));
      ok = false;
      break;
    }
    if (!drive.WriteStored(volume.offset + copied, std::span<const uint8_t>(chunk.data(), static_cast<size_t>(got)))) {
      error = "cannot write the volume image onto the drive's media";
      ok = false;
      break;
    }
    copied += static_cast<uint64_t>(got);
  }
  gzclose(file);
  return ok;
}

}  // namespace kestrune::sim
