// What the NVMe commands keep between commands: the last SMART / Health page each view read (the
// temperature monitors of the chart workloads read it).
#pragma once

#include <array>
#include <cstdint>

#include "devcmd/nvme_decoders_smart.h"
#include "engine/interpreter.h"

namespace kestrune::devcmd {

struct LastSmartPage {
  std::array<uint8_t, kSmartPageBytes> bytes{};
  bool valid = false;
};

struct NvmeState {
  std::array<LastSmartPage, engine::Interpreter::kViews> lastSmart{};
};

inline LastSmartPage& LastSmartOf(engine::Interpreter& interp, uint32_t view) {
  return interp.State<NvmeState>().lastSmart.at(view);
}

}  // namespace kestrune::devcmd
