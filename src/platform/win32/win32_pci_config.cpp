// The PCI configuration access of Windows: the IOrw kernel driver ("IOrw64.sys" in the program
// folder), installed as the demand-start kernel service "IOrw" when a session opens, reached as
// "\\.\IOrw" with the one device control of platform/iorw_request.h, and stopped and deleted when
// the session ends. One session at a time in the process: the service is the process's own for
// that time.
#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/host.h"
#include "platform/iorw_request.h"
#include "platform/pci_config.h"
#include "platform/power.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr const wchar_t* kServiceName = L"IOrw";
constexpr const wchar_t* kDevicePath = L"\\\\.\\IOrw";
constexpr const char* kDriverFile = "IOrw64.sys";

std::mutex& SessionMutex() {
  static std::mutex m;
  return m;
}

// The installed and started service, stopped and deleted again when this goes.
class DriverService {
 public:
  ~DriverService() {
    if (service_) {
      SERVICE_STATUS status{};
      ControlService(service_, SERVICE_CONTROL_STOP, &status);
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    if (manager_) CloseServiceHandle(manager_);
  }

  bool Start(const std::string& driverPath, std::string& why) {
    if (GetFileAttributesW(Widen(driverPath).c_str()) == INVALID_FILE_ATTRIBUTES) {
      why = driverPath + " is missing";
      return false;
    }
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) {
      why = "the service control manager: " + LastErrorText();
      return false;
    }
    const std::wstring path = Widen(driverPath);
    service_ = CreateServiceW(manager_, kServiceName, kServiceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                              SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (!service_ && GetLastError() == ERROR_SERVICE_EXISTS)
      service_ = OpenServiceW(manager_, kServiceName, SERVICE_ALL_ACCESS);
    if (!service_) {
      why = "installing the driver service: " + LastErrorText();
      return false;
    }
    if (!StartServiceW(service_, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      why = "starting the driver service: " + LastErrorText();
      return false;
    }
    return true;
  }

 private:
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

class Win32PciSession final : public PciConfigSession {
 public:
  Win32PciSession(std::unique_lock<std::mutex> lock, std::unique_ptr<DriverService> service, HANDLE device,
                  const PciFunction& fn)
      : lock_(std::move(lock)), service_(std::move(service)), device_(device), fn_(fn) {}
  ~Win32PciSession() override {
    CloseHandle(device_);
    service_.reset();  // stops and deletes the service while the lock is still held
  }

  std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> buffer, PciAccessFailure& failure,
                               std::string& why) override {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (offset >= kPciHeaderBytes) return 0;  // the driver reaches the 256-byte header only
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(buffer.size()), kPciHeaderBytes - offset);
    iorw::Record r = iorw::PciConfigRead(fn_.bus, fn_.device, fn_.function, offset, n);
    if (!Exchange(r, failure, why)) return std::nullopt;
    std::copy_n(r.data().begin(), n, buffer.begin());
    return n;
  }

  bool Write(uint32_t offset, std::span<const uint8_t> data, PciAccessFailure& failure,
             std::string& why) override {
    const size_t n = data.size();
    if ((n != 1 && n != 2 && n != 4) || offset % n != 0 || offset + n > kPciHeaderBytes) {
      failure = PciAccessFailure::kFailed;
      why = "a configuration write is 1, 2 or 4 aligned bytes in the header";
      return false;
    }
    if (RealPowerActionsRefused()) {
      failure = PciAccessFailure::kRefused;
      why = "configuration writes are off here (KESTRUNE_NO_POWER or CI)";
      return false;
    }
    iorw::Record r = iorw::PciConfigWrite(fn_.bus, fn_.device, fn_.function, offset, data);
    return Exchange(r, failure, why);
  }

 private:
  bool Exchange(iorw::Record& r, PciAccessFailure& failure, std::string& why) {
    DWORD returned = 0;
    if (DeviceIoControl(device_, iorw::kControlCode, r.bytes.data(), iorw::kRecordBytes, r.bytes.data(),
                        iorw::kRecordBytes, &returned, nullptr))
      return true;
    failure = PciAccessFailure::kFailed;
    why = "the driver's request failed: " + LastErrorText();
    return false;
  }

  std::unique_lock<std::mutex> lock_;
  std::unique_ptr<DriverService> service_;
  HANDLE device_;
  PciFunction fn_;
};

class Win32PciConfig final : public PciConfig {
 public:
  explicit Win32PciConfig(std::string programFolder) : folder_(std::move(programFolder)) {}

  std::unique_ptr<PciConfigSession> Open(const PciFunction& fn, PciAccessFailure& failure,
                                         std::string& why) override {
    if (fn.bus > 255 || fn.device > 31 || fn.function > 7) {
      failure = PciAccessFailure::kNoFunction;
      why = "not a PCI address";
      return nullptr;
    }
    std::unique_lock<std::mutex> lock(SessionMutex());
    auto service = std::make_unique<DriverService>();
    if (!service->Start(JoinPath(folder_, kDriverFile), why)) {
      failure = PciAccessFailure::kDriverLoad;
      return nullptr;
    }
    HANDLE device = CreateFileW(kDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      failure = PciAccessFailure::kDriverOpen;
      why = "opening \\\\.\\IOrw: " + LastErrorText();
      return nullptr;
    }
    return std::make_unique<Win32PciSession>(std::move(lock), std::move(service), device, fn);
  }

  bool Simulated() const override { return false; }

 private:
  std::string folder_;
};

}  // namespace

std::unique_ptr<PciConfig> MakeSystemPciConfig(const std::string& programFolder) {
  return std::make_unique<Win32PciConfig>(programFolder);
}

}  // namespace kestrune::platform
