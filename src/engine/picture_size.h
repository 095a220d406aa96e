// The pixel height of a picture file, read from its header, for the row a picture line takes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrune::engine {

// The height of a PNG, BMP, GIF or JPEG picture held in bytes (its start is enough); nullopt for
// anything else or a header cut short.
std::optional<uint32_t> PictureHeightOf(std::span<const uint8_t> bytes);

// The same for a file; nullopt also when it cannot be read.
std::optional<uint32_t> PictureHeight(const std::string& path);

}  // namespace kestrune::engine
