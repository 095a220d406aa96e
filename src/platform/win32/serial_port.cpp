// Serial ports on Windows: COM handles with a DCB, COMMTIMEOUTS for the exchange time-outs, and
// DeviceIoControl for the adapters driven by control requests.
#include "platform/serial_port.h"

#include <windows.h>

#include "platform/win32/last_error.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

constexpr DWORD kReceiveQueueBytes = 64 * 1024;
constexpr DWORD kTransmitQueueBytes = 2 * 1024;

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(HANDLE h) : h_(h) {}
  ~Win32SerialPort() override { CloseHandle(h_); }

  bool Write(std::span<const uint8_t> data) override {
    DWORD written = 0;
    return WriteFile(h_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
  }

  size_t Read(std::span<uint8_t> out) override {
    DWORD got = 0;
    if (!ReadFile(h_, out.data(), static_cast<DWORD>(out.size()), &got, nullptr)) return 0;
    return got;
  }

  bool HasDeviceControls() const override { return true; }

  int DeviceControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) override {
    DWORD got = 0;
    if (!DeviceIoControl(h_, code, const_cast<uint8_t*>(in.data()), static_cast<DWORD>(in.size()),
                         out.empty() ? nullptr : out.data(), static_cast<DWORD>(out.size()), &got, nullptr))
      return -1;
    return static_cast<int>(got);
  }

 private:
  HANDLE h_;
};

class Win32SerialPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialPort> Open(const std::string& device, uint32_t baud, std::string& why) override {
    HANDLE h = CreateFileW(Widen(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      why = device + ": " + LastErrorText();
      return nullptr;
    }
    SetupComm(h, kReceiveQueueBytes, kTransmitQueueBytes);
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);  // stale answers only, as on Linux
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
      why = device + ": " + LastErrorText();
      CloseHandle(h);
      return nullptr;
    }
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(h, &dcb)) {
      why = device + ": " + LastErrorText();
      CloseHandle(h);
      return nullptr;
    }
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = kSerialByteGapMs;
    t.ReadTotalTimeoutMultiplier = kSerialReadPerByteMs;
    t.ReadTotalTimeoutConstant = kSerialReadBaseMs;
    t.WriteTotalTimeoutMultiplier = kSerialWritePerByteMs;
    t.WriteTotalTimeoutConstant = kSerialWriteBaseMs;
    SetCommTimeouts(h, &t);
    return std::make_unique<Win32SerialPort>(h);
  }
};

}  // namespace

std::unique_ptr<SerialPorts> CreateSystemSerialPorts() { return std::make_unique<Win32SerialPorts>(); }

}  // namespace kestrune::platform
