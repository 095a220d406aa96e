#include "sim/lab_lan_power.h"

#include <algorithm>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::sim {
namespace {

constexpr size_t kRequestBytes = 1020;
constexpr uint32_t kRequestCode = 0xFA03;

class LabLanConnection final : public platform::TcpConnection {
 public:
  bool Send(std::span<const uint8_t> data, uint32_t) override {
    received_.insert(received_.end(), data.begin(), data.end());
    return true;
  }
  // The server answers "OK" once it holds a whole request with the right code.
  int Receive(std::span<uint8_t> out, uint32_t) override {
    if (answered_ || received_.size() < kRequestBytes || base::GetLe32(received_.data()) != kRequestCode) return 0;
    answered_ = true;
    const char reply[] = {'O', 'K'};
    const size_t n = std::min(out.size(), sizeof reply);
    std::copy_n(reply, n, out.begin());
    return static_cast<int>(n);
  }
  std::optional<platform::MacAddress> LocalMac() override { return kLabAdapterMac; }

 private:
  std::vector<uint8_t> received_;
  bool answered_ = false;
};

}  // namespace

std::unique_ptr<platform::TcpConnection> LabLanPower::Connect(const std::string& host, uint32_t port, uint32_t,
                                                              std::string& why) {
  const std::string name = base::ToLowerAscii(host);
  if (name == "invalid" || (name.size() > 8 && name.ends_with(".invalid"))) {
    why = host + ": the name is not found";
    return nullptr;
  }
  if (port == 0 || port > 65535) {
    why = host + ": no such port " + std::to_string(port);
    return nullptr;
  }
  return std::make_unique<LabLanConnection>();
}

}  // namespace kestrune::sim
