#include "devcmd/power_station.h"

#include <cstdlib>
#include <cstring>

#include "base/completion_codes.h"
#include "engine/interpreter.h"
#include "platform/power.h"

namespace kestrune::devcmd {

PowerStation::~PowerStation() { WaitDelayed(); }

void PowerStation::WaitDelayed() {
  std::list<Delayed> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (Delayed& d : threads)
    if (d.thread.joinable()) d.thread.join();
}

void PowerStation::Configure(StationConfig config, platform::SerialPorts* serial, platform::RelayLibrary* relays,
                             bool lab) {
  std::lock_guard lock(mutex_);
  portName_ = config.hubPort;
  config_ = std::move(config);
  serial_ = serial;
  relays_ = relays;
  lab_ = lab;
}

StationConfig PowerStation::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

std::string PowerStation::portName() const {
  std::lock_guard lock(mutex_);
  return portName_;
}

void PowerStation::set_portName(std::string name) {
  std::lock_guard lock(mutex_);
  portName_ = std::move(name);
}

void PowerStation::StartDelayed(std::function<void()> work) {
  std::list<Delayed> finished;
  {
    std::lock_guard lock(mutex_);
    // The actions that have ended are joined here, so that a long run does not collect them.
    for (auto it = threads_.begin(); it != threads_.end();) {
      auto next = std::next(it);
      if (it->done->load()) finished.splice(finished.end(), threads_, it);
      it = next;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    threads_.push_back(Delayed{std::thread([work = std::move(work), done] {
                                 work();
                                 done->store(true);
                               }),
                               done});
  }
  for (Delayed& d : finished) d.thread.join();
}

PowerStation& StationOf(engine::Interpreter& interp) { return interp.State<PowerStation>(); }

bool NodeControlRefused(engine::Interpreter& interp, uint32_t view) {
  if (StationOf(interp).lab() || !platform::RealPowerActionsRefused()) return false;
  interp.ReportCompletion(view, base::code::kError, "Power actions are off here (KESTRUNE_NO_POWER or CI)");
  return true;
}

LanPowerServer LanPowerServerOf(engine::Interpreter& interp) {
  const StationConfig c = StationOf(interp).config();
  return {c.lanServer, c.lanPort};
}

}  // namespace kestrune::devcmd
