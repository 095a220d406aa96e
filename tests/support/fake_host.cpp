#include "support/fake_host.h"

#include <atomic>
#include <unistd.h>

#include <filesystem>

namespace kestrune::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = (fs::temp_directory_path() /
           ("kestrune_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
              .string();
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

FakeHost::FakeHost() = default;

FakeHost::~FakeHost() = default;

std::string FakeHost::ProgramFolder() const {
  auto slash = programPath.rfind('/');
  return slash == std::string::npos ? "." : programPath.substr(0, slash);
}

bool FakeHost::CreateFolders(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

}  // namespace kestrune::testing
