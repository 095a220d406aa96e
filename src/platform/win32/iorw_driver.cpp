#include "platform/win32/iorw_driver.h"

#include "platform/host.h"
#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr const wchar_t* kServiceName = L"IOrw";
constexpr const wchar_t* kDevicePath = L"\\\\.\\IOrw";
constexpr const char* kDriverFile = "IOrw64.sys";

std::mutex& DriverMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

std::unique_ptr<IorwDriver> IorwDriver::Open(const std::string& programFolder, PciAccessFailure& failure,
                                             std::string& why) {
  std::unique_ptr<IorwDriver> driver(new IorwDriver());
  driver->lock_ = std::unique_lock<std::mutex>(DriverMutex());
  if (!driver->Start(JoinPath(programFolder, kDriverFile), why)) {
    failure = PciAccessFailure::kDriverLoad;
    return nullptr;
  }
  driver->device_ = CreateFileW(kDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (driver->device_ == INVALID_HANDLE_VALUE) {
    failure = PciAccessFailure::kDriverOpen;
    why = "opening \\\\.\\IOrw: " + LastErrorText();
    return nullptr;
  }
  return driver;
}

std::unique_ptr<IorwDriver> IorwDriver::OpenNamingFailure(const std::string& programFolder, std::string& why) {
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::unique_ptr<IorwDriver> driver = Open(programFolder, failure, why);
  if (!driver)
    why = (failure == PciAccessFailure::kDriverLoad ? "Load Kernel Driver Fail: " : "Create Driver Object Fail: ") + why;
  return driver;
}

IorwDriver::~IorwDriver() {
  if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
  if (service_) {
    SERVICE_STATUS status{};
    ControlService(service_, SERVICE_CONTROL_STOP, &status);
    DeleteService(service_);
    CloseServiceHandle(service_);
  }
  if (manager_) CloseServiceHandle(manager_);
}

bool IorwDriver::Start(const std::string& driverPath, std::string& why) {
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
                            SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
                            nullptr, nullptr);
  if (!service_ && GetLastError() == ERROR_SERVICE_EXISTS) service_ = OpenServiceW(manager_, kServiceName, SERVICE_ALL_ACCESS);
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

bool IorwDriver::Exchange(iorw::Record& r, std::string& why) {
  DWORD returned = 0;
  if (DeviceIoControl(device_, iorw::kControlCode, r.bytes.data(), iorw::kRecordBytes, r.bytes.data(),
                      iorw::kRecordBytes, &returned, nullptr))
    return true;
  why = "the driver's request failed: " + LastErrorText();
  return false;
}

}  // namespace kestrune::platform
