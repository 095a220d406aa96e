// The IOrw kernel driver ("IOrw64.sys" in the program folder) for one piece of work: installed as
// the demand-start kernel service "IOrw", started, reached as "\\.\IOrw" with the one device
// control of platform/iorw_request.h, and stopped and deleted again when the object goes. One at
// a time in the process: the service is the process's own while the object lives.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/iorw_request.h"
#include "platform/pci_config.h"

namespace kestrune::platform {

class IorwDriver {
 public:
  // Installs, starts and opens the driver; waits for another holder in this process first.
  // nullptr with failure (kDriverLoad: the service does not install or start; kDriverOpen: its
  // device does not open) and why.
  static std::unique_ptr<IorwDriver> Open(const std::string& programFolder, PciAccessFailure& failure,
                                          std::string& why);
  // Open, with why beginning with the words a script's log shows for the failure ("Load Kernel
  // Driver Fail: ", "Create Driver Object Fail: ").
  static std::unique_ptr<IorwDriver> OpenNamingFailure(const std::string& programFolder, std::string& why);
  ~IorwDriver();
  IorwDriver(const IorwDriver&) = delete;
  IorwDriver& operator=(const IorwDriver&) = delete;

  // Sends r and takes the driver's reply into it. False with why when the request failed.
  bool Exchange(iorw::Record& r, std::string& why);

 private:
  IorwDriver() = default;
  bool Start(const std::string& driverPath, std::string& why);

  std::unique_lock<std::mutex> lock_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
  HANDLE device_ = INVALID_HANDLE_VALUE;
};

}  // namespace kestrune::platform
