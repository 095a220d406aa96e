// The relay boards on Windows: the boards' library "usb_relay_device64.dll", loaded by its full
// path in the program folder (never by the search path) on first use, every function resolved.
#include <windows.h>

#include <cstdint>
#include <mutex>

#include "platform/host.h"
#include "platform/relay_board.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr const char* kLibraryFile = "usb_relay_device64.dll";

// The library's board list entry.
struct RelayDeviceInfo {
  unsigned char* serialNumber;
  char* devicePath;
  int type;
  RelayDeviceInfo* next;
};

struct RelayFunctions {
  int (*init)() = nullptr;
  RelayDeviceInfo* (*enumerate)() = nullptr;
  void (*freeEnumerate)(RelayDeviceInfo*) = nullptr;
  intptr_t (*openWithSerial)(const char*, unsigned) = nullptr;
  int (*openChannel)(intptr_t, int) = nullptr;
  int (*closeChannel)(intptr_t, int) = nullptr;
  int (*getStatus)(intptr_t, unsigned*) = nullptr;
  void (*close)(intptr_t) = nullptr;
  int (*exit)() = nullptr;
};

class DllRelayBoard final : public RelayBoard {
 public:
  DllRelayBoard(const RelayFunctions& f, std::mutex& m, intptr_t h) : f_(f), mutex_(m), h_(h) {}
  ~DllRelayBoard() override {
    std::lock_guard lock(mutex_);
    f_.close(h_);
  }
  bool OpenChannel(int index) override {
    std::lock_guard lock(mutex_);
    return f_.openChannel(h_, index) == 0;
  }
  bool CloseChannel(int index) override {
    std::lock_guard lock(mutex_);
    return f_.closeChannel(h_, index) == 0;
  }
  std::optional<uint32_t> Status() override {
    std::lock_guard lock(mutex_);
    unsigned status = 0;
    if (f_.getStatus(h_, &status) != 0) return std::nullopt;
    return status;
  }

 private:
  const RelayFunctions& f_;
  std::mutex& mutex_;
  intptr_t h_;
};

class DllRelayLibrary final : public RelayLibrary {
 public:
  explicit DllRelayLibrary(std::string folder) : path_(JoinPath(folder, kLibraryFile)) {}
  ~DllRelayLibrary() override {
    if (module_) {
      if (ready_) f_.exit();
      FreeLibrary(module_);
    }
  }

  bool Available(std::string& why) override {
    std::lock_guard lock(mutex_);
    return LoadLocked(why);
  }

  std::vector<std::string> Serials() override {
    std::lock_guard lock(mutex_);
    std::string why;
    std::vector<std::string> out;
    if (!LoadLocked(why)) return out;
    RelayDeviceInfo* list = f_.enumerate();
    for (RelayDeviceInfo* i = list; i; i = i->next)
      out.emplace_back(i->serialNumber ? reinterpret_cast<const char*>(i->serialNumber) : "");
    if (list) f_.freeEnumerate(list);
    return out;
  }

  std::unique_ptr<RelayBoard> Open(const std::string& serial, std::string& why) override {
    std::lock_guard lock(mutex_);
    if (!LoadLocked(why)) return nullptr;
    const intptr_t h = f_.openWithSerial(serial.c_str(), static_cast<unsigned>(serial.size()));
    if (h == 0) {
      why = "no USB relay board with the serial number \"" + serial + "\"";
      return nullptr;
    }
    return std::make_unique<DllRelayBoard>(f_, mutex_, h);
  }

 private:
  template <typename F>
  void Resolve(F& slot, const char* name, std::string& missing) {
    slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    if (!slot) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }

  bool LoadLocked(std::string& why) {
    if (ready_) return true;
    if (!failure_.empty()) {
      why = failure_;
      return false;
    }
    module_ = LoadLibraryExW(Widen(path_).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_) {
      why = failure_ = std::string(kLibraryFile) + " is missing in the program folder";
      return false;
    }
    std::string missing;
    Resolve(f_.init, "usb_relay_init", missing);
    Resolve(f_.enumerate, "usb_relay_device_enumerate", missing);
    Resolve(f_.freeEnumerate, "usb_relay_device_free_enumerate", missing);
    Resolve(f_.openWithSerial, "usb_relay_device_open_with_serial_number", missing);
    Resolve(f_.openChannel, "usb_relay_device_open_one_relay_channel", missing);
    Resolve(f_.closeChannel, "usb_relay_device_close_one_relay_channel", missing);
    Resolve(f_.getStatus, "usb_relay_device_get_status", missing);
    Resolve(f_.close, "usb_relay_device_close", missing);
    Resolve(f_.exit, "usb_relay_exit", missing);
    if (!missing.empty()) {
      why = failure_ = std::string(kLibraryFile) + " lacks " + missing;
      FreeLibrary(module_);
      module_ = nullptr;
      return false;
    }
    if (f_.init() != 0) {
      why = failure_ = std::string(kLibraryFile) + ": usb_relay_init failed";
      FreeLibrary(module_);
      module_ = nullptr;
      return false;
    }
    ready_ = true;
    return true;
  }

  std::string path_;
  std::mutex mutex_;  // guards everything below and every call into the library
  HMODULE module_ = nullptr;
  bool ready_ = false;
  std::string failure_;
  RelayFunctions f_;
};

}  // namespace

std::unique_ptr<RelayLibrary> CreateSystemRelayLibrary(const std::string& programFolder) {
  return std::make_unique<DllRelayLibrary>(programFolder);
}

}  // namespace kestrune::platform
