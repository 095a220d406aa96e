// What the ATA commands keep between commands: the last SMART attribute reading of each view.
#pragma once

#include <array>
#include <vector>

#include "disk/ata_smart.h"
#include "engine/interpreter.h"

namespace kestrune::devcmd {

struct LastAtaSmart {
  std::vector<disk::SmartAttribute> attributes;
  bool valid = false;
};

struct AtaState {
  std::array<LastAtaSmart, engine::Interpreter::kViews> lastSmart{};
};

inline LastAtaSmart& LastAtaSmartOf(engine::Interpreter& interp, uint32_t view) {
  return interp.State<AtaState>().lastSmart.at(view);
}

}  // namespace kestrune::devcmd
