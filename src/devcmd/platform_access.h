// What the platform control commands reach of the machine: the PCI configuration access and the
// system facts (the system's or the lab's). Set by start-up before any run, read on run threads.
// Held by the interpreter (Interpreter::State<PlatformAccess>()).
#pragma once

#include "engine/interpreter.h"
#include "platform/pci_config.h"
#include "platform/system_facts.h"

namespace kestrune::devcmd {

struct PlatformAccess {
  platform::PciConfig* pci = nullptr;      // null: no PCI configuration access
  platform::SystemFacts* facts = nullptr;  // null: no system facts
};

inline PlatformAccess& PlatformAccessOf(engine::Interpreter& interp) {
  return interp.State<PlatformAccess>();
}

}  // namespace kestrune::devcmd
