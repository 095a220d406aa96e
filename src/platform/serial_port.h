// Serial ports for the power hubs: raw 8-bit byte exchange with fixed time-outs, and the device
// controls of the hub adapters that are driven by control requests instead of bytes.
// Implementations: linux/serial_port.cpp (termios), win32/serial_port.cpp (COM handles), and the
// lab's hub peer (sim/lab_hub.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kestrune::platform {

// Time-outs of every exchange: between two bytes of a read, per byte and per call of a read, per
// byte and per call of a write.
inline constexpr uint32_t kSerialByteGapMs = 20;
inline constexpr uint32_t kSerialReadPerByteMs = 1;
inline constexpr uint32_t kSerialReadBaseMs = 500;
inline constexpr uint32_t kSerialWritePerByteMs = 10;
inline constexpr uint32_t kSerialWriteBaseMs = 100;

// One open port, owned by one thread at a time (not thread-safe; the hub lock orders its users).
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Writes every byte of data within the write time-out. False on a failure or a time-out.
  virtual bool Write(std::span<const uint8_t> data) = 0;
  // Reads up to out.size() bytes; stops when the buffer is full, when kSerialByteGapMs pass
  // without a byte after the first, or when the read time-out runs out. The count read (0 on a
  // failure or when nothing came).
  virtual size_t Read(std::span<uint8_t> out) = 0;
  // Whether this port carries the adapter's device controls (DeviceControl below).
  virtual bool HasDeviceControls() const = 0;
  // Sends device control code with input in and reads up to out.size() bytes of output; the
  // count of output bytes, or -1 when the control failed or is not carried.
  virtual int DeviceControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) = 0;
};

// Opens ports. Thread-safe: any thread may open a port (the hub lock makes one holder per port).
class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // Opens device (a path as DefaultSerialDevice gives it or as the station file maps it) at baud,
  // 8 data bits, no parity, one stop bit, exclusively, with the receive queue purged (stale answers). nullptr with why
  // set when it does not open.
  virtual std::unique_ptr<SerialPort> Open(const std::string& device, uint32_t baud, std::string& why) = 0;
};

// The system's ports (never null).
std::unique_ptr<SerialPorts> CreateSystemSerialPorts();

// The device of a port name "COMn" on this system without a station mapping: Linux
// "/dev/ttyS<n-1>", Windows "\\.\COMn". Empty when name is not "COM" and a number from 1.
std::string DefaultSerialDevice(std::string_view name);

// The number n of "COMn" (any case), or 0 when name is not of that form.
uint32_t ComPortNumber(std::string_view name);

}  // namespace kestrune::platform
