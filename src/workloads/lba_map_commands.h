// The LBA map commands: Compare_MapMake writes a map file of writes, trims, FUA writes and flushes,
// Compare_MapWrite replays it on the disk and keeps in the view how far it got, and
// Compare_MapCompare, after an interruption, judges every sector of the range against the map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/interpreter.h"

namespace kestrune::workloads {

// How far the last Compare_MapWrite of a view got.
struct MapProgress {
  struct Slot {
    uint64_t entry = 0;     // index of the entry the slot last held
    bool inFlight = false;  // that request had not finished
  };
  bool recorded = false;
  std::string mapPath;
  uint32_t qd = 0;
  uint32_t pattern = 0;
  uint64_t issued = 0;     // entries issued
  uint64_t writesIssued = 0;  // of them writes
  uint64_t completed = 0;  // writes completed
  uint64_t durable = 0;    // entries [0, durable) are durable
  std::vector<Slot> slots;
  // Set by a Compare_MapCompare of this map after the write: its base pattern.
  std::optional<uint32_t> comparedBase;
};

// The view's record (kept for the life of the interpreter).
MapProgress& MapProgressOf(engine::Interpreter& interp, uint32_t view);

std::vector<engine::HandlerRow> RegisterLbaMapCommands(engine::Interpreter& interp);

}  // namespace kestrune::workloads
