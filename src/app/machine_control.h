// What the restart commands (PCReBoot, AutoRunOnStartup, Exit's removal of the registration) need
// from start-up: the machine's power, its start-again registrations, where saves go, and the parts
// of the command line a run started again must carry. Set by start-up before any run; read on the
// run thread.
#pragma once

#include <string>

#include "engine/interpreter.h"
#include "platform/acpi_tables.h"
#include "platform/auto_start.h"
#include "platform/port_io.h"
#include "platform/power.h"
#include "platform/tcp_client.h"

namespace kestrune::app {

struct MachineControl {
  platform::Power* power = nullptr;          // null: restarts are not available
  platform::AutoStart* autoStart = nullptr;  // null: registrations are not available
  platform::TcpClient* tcp = nullptr;        // reaches the LAN power-cycle server; null: not available
  // The ACPI tables and I/O ports of the SPOR power cut; either null: the cut is not available.
  platform::AcpiTables* acpi = nullptr;
  platform::PortIo* ports = nullptr;
  std::string saveFolder;                    // where run saves are written (the temporary folder)
  std::string outputMirror;                  // absolute path of the "/outfile" mirror, "" when none
  // Arguments a run started again needs to see the same disks (the lab and its folder), in Windows
  // command-line form; "" for the system's own disks.
  std::string diskArguments;
  int errStop = 0;                           // the ERRSTOP option of this start
};

inline MachineControl& MachineControlOf(engine::Interpreter& interp) { return interp.State<MachineControl>(); }

// Whether view's power command may act: a power seam is there (-79 otherwise) and, on the real
// machine, power actions are not refused here (-255 otherwise). Reports the failure. Run thread.
bool PowerUsable(engine::Interpreter& interp, uint32_t view);

// The registration name of a save id: "AutoRunOnStartup_<id>". The name without an id,
// "AutoRunOnStartup", is what other instances may have left; it is removed too.
std::string RegistrationName(uint32_t saveId);
inline constexpr const char* kLegacyRegistration = "AutoRunOnStartup";

}  // namespace kestrune::app
