// The Windows partition tool: DISKPART from the system folder, driven by a script file written in
// the ANSI code page to the temporary folder, its exit code checked; then the drive letter of the
// new volume on the same disk.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/partition_tool.h"
#include "platform/process.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_io.h"
#include "platform/win_device_text.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"

namespace kestrune::platform::win32 {
namespace {

constexpr int32_t kOpenFailed = -1;
constexpr int32_t kRefused = -2;
constexpr int32_t kToolFailed = -7;
constexpr int32_t kNoDiskNumber = -9;
constexpr DWORD kAfterToolMs = 2000;

std::optional<winio::DeviceNumber> NumberOf(const std::string& path) {
  UniqueHandle h = OpenForQueries(path);
  if (!h) return std::nullopt;
  auto answer = Query(h.get(), winio::kIoctlStorageGetDeviceNumber, {}, winio::kDeviceNumberBytes);
  return answer ? winio::ReadDeviceNumber(*answer) : std::nullopt;
}

std::wstring SystemFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// The script's bytes in the ANSI code page; nullopt when a character has no form there.
std::optional<std::string> AnsiBytes(const std::string& utf8) {
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, &lossy);
  if (lossy) return std::nullopt;
  return out;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  UniqueHandle h(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  DWORD written = 0;
  return WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
         written == bytes.size();
}

class DiskpartTool final : public PartitionTool {
 public:
  PartitionOutcome Run(const PartitionRequest& request, const std::atomic<bool>*) override {
    if (!OpenForQueries(request.targetPath)) return {kOpenFailed, request.targetPath, ""};
    std::optional<winio::DeviceNumber> number = NumberOf(request.targetPath);
    if (!number) return {kNoDiskNumber, "Get Disk Information Fail", ""};
    const uint32_t disk = number->deviceNumber;
    std::optional<std::string> script = DiskpartScript(request, disk);
    std::optional<std::string> ansi = script ? AnsiBytes(*script) : std::nullopt;
    if (!ansi || ansi->size() > kMaxDiskpartScriptBytes) return {kRefused, "script", ""};

    const std::wstring system = SystemFolder();
    const std::wstring temp = TempFolder();
    if (system.empty() || temp.empty()) return {kToolFailed, "no system or temporary folder", ""};
    const std::wstring scriptPath = temp + L"diskpartTmp" + std::to_wstring(disk) + L".txt";
    if (!WriteWholeFile(scriptPath, *ansi)) return {kToolFailed, "cannot write " + Narrow(scriptPath), ""};

    const std::string program = Narrow(system + L"\\diskpart.exe");
    std::string error;
    std::unique_ptr<Process> process =
        DefaultProcessLauncher().Start(program, {program, "/s", Narrow(scriptPath)}, "", error);
    if (!process) return {kToolFailed, "DISKPART did not start: " + error, ""};
    // The tool is never left half way: the wait is not cancelled.
    const std::optional<int> exitCode = process->Wait(nullptr);
    if (!exitCode || *exitCode != 0)
      return {kToolFailed,
              "DISKPART exit code " + std::to_string(exitCode.value_or(-1)) + ", script kept in " +
                  Narrow(scriptPath),
              ""};
    Sleep(kAfterToolMs);
    DeleteFileW(scriptPath.c_str());

    if (request.operation == PartitionOperation::kClean) {
      const std::string path = winio::PhysicalDrivePath(disk);
      if (!OpenForQueries(path)) return {kOpenFailed, path, ""};
      return {1, "", path};
    }
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
      const std::string path = winio::VolumePath(letter);
      std::optional<winio::DeviceNumber> n = NumberOf(path);
      if (n && n->deviceType == winio::kFileDeviceDisk && n->deviceNumber == disk) return {1, "", path};
    }
    return {kToolFailed, "No drive letter on disk " + std::to_string(disk), ""};
  }
};

}  // namespace

PartitionTool* Win32DeviceTree::Partitioner() {
  static DiskpartTool tool;
  return &tool;
}

}  // namespace kestrune::platform::win32
