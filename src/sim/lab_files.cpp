#include "sim/lab_files.h"

#include "base/text.h"
#include "sim/lab_values.h"

namespace kestrune::sim {
namespace {

constexpr std::string_view kSectionPrefix = "File:";

// A rule with the state it keeps: whether its flip has been spent.
struct Rule {
  FileFaults faults;
  std::atomic<bool> flipSpent{false};
};

bool Covers(uint64_t offset, size_t bytes, std::optional<uint64_t> at) {
  return at && *at >= offset && *at - offset < bytes;
}

class LabFile final : public platform::JobFile {
 public:
  LabFile(std::unique_ptr<platform::JobFile> inner, Rule& rule, platform::Host& host)
      : inner_(std::move(inner)), rule_(rule), host_(host) {}
  uint64_t Size() override { return inner_->Size(); }
  bool unbuffered() const override { return inner_->unbuffered(); }

  platform::FileIo ReadAt(uint64_t offset, std::span<uint8_t> bytes) override {
    const FileFaults& f = rule_.faults;
    Pace(offset, bytes.size());
    if (Covers(offset, bytes.size(), f.readFailAt)) return Failed("injected read failure", false);
    platform::FileIo io = inner_->ReadAt(offset, bytes);
    if (io.ok && Covers(offset, io.bytes, f.flipAt) && (f.flipEveryRead || !rule_.flipSpent.exchange(true)))
      bytes[static_cast<size_t>(*f.flipAt - offset)] ^= 1;
    return io;
  }

  platform::FileIo WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
    const FileFaults& f = rule_.faults;
    Pace(offset, bytes.size());
    if (f.fullAt && offset + bytes.size() > *f.fullAt) {
      // What fits before the full point is written, as a real disk would.
      if (*f.fullAt > offset) inner_->WriteAt(offset, bytes.first(static_cast<size_t>(*f.fullAt - offset)));
      return Failed("injected disk full", true);
    }
    return inner_->WriteAt(offset, bytes);
  }

  bool Flush(std::string& why) override { return inner_->Flush(why); }

 private:
  void Pace(uint64_t offset, size_t bytes) {
    const FileFaults& f = rule_.faults;
    if (f.cancel && f.cancelAt && offset + bytes > *f.cancelAt) f.cancel->store(true);
    if (f.pieceDelayMs) host_.SleepMs(f.pieceDelayMs);
  }
  static platform::FileIo Failed(std::string why, bool full) {
    platform::FileIo io;
    io.why = std::move(why);
    io.diskFull = full;
    return io;
  }

  std::unique_ptr<platform::JobFile> inner_;
  Rule& rule_;
  platform::Host& host_;
};

class LabFiles final : public platform::JobFiles {
 public:
  LabFiles(std::shared_ptr<platform::JobFiles> inner, std::vector<FileFaults> rules, platform::Host& host)
      : inner_(std::move(inner)), host_(host) {
    for (FileFaults& f : rules) {
      auto r = std::make_unique<Rule>();
      r->faults = std::move(f);
      rules_.push_back(std::move(r));
    }
  }

  std::unique_ptr<platform::JobFile> Open(const std::string& path, platform::FileAccess access,
                                          std::string& why) override {
    Rule* rule = RuleOf(path);
    if (rule && rule->faults.cachedOnly && access == platform::FileAccess::kReadUnbuffered)
      access = platform::FileAccess::kRead;
    std::unique_ptr<platform::JobFile> file = inner_->Open(path, access, why);
    if (!file || !rule) return file;
    return std::make_unique<LabFile>(std::move(file), *rule, host_);
  }
  platform::FileStat Stat(const std::string& path) override { return inner_->Stat(path); }
  std::vector<std::string> ListFiles(const std::string& folder) override { return inner_->ListFiles(folder); }
  bool Remove(const std::string& path) override { return inner_->Remove(path); }

 private:
  Rule* RuleOf(const std::string& path) {
    const std::string name = platform::FileNameOf(path);
    for (auto& r : rules_)
      if (r->faults.name == "*" || base::EqualsNoCase(r->faults.name, name)) return r.get();
    return nullptr;
  }

  std::shared_ptr<platform::JobFiles> inner_;
  platform::Host& host_;
  std::vector<std::unique_ptr<Rule>> rules_;
};

}  // namespace

bool IsFileFaultsSection(std::string_view section) {
  return section.size() > kSectionPrefix.size() &&
         base::EqualsNoCase(section.substr(0, kSectionPrefix.size()), kSectionPrefix);
}

FileFaultsResult ParseFileFaults(const base::IniFile& ini) {
  FileFaultsResult result;
  for (const std::string& section : ini.Sections()) {
    if (!IsFileFaultsSection(section)) continue;
    FileFaults f;
    f.name = std::string(base::Trim(std::string_view(section).substr(kSectionPrefix.size())));
    for (const std::string& key : ini.Keys(section)) {
      const std::string value = ini.GetString(section, key, "");
      const std::string k = base::ToLowerAscii(key);
      bool ok = true;
      auto number = [&](std::optional<uint64_t>& into) {
        into = ParseNumber(value);
        ok = into.has_value();
      };
      auto flag = [&](bool& into) {
        const std::optional<bool> b = ParseSwitch(value);
        ok = b.has_value();
        into = b.value_or(false);
      };
      if (k == "fullat") {
        number(f.fullAt);
      } else if (k == "readfailat") {
        number(f.readFailAt);
      } else if (k == "flipat") {
        number(f.flipAt);
      } else if (k == "flipeveryread") {
        flag(f.flipEveryRead);
      } else if (k == "cachedonly") {
        flag(f.cachedOnly);
      } else if (k == "piecedelayms") {
        std::optional<uint64_t> ms = ParseNumber(value);
        ok = ms && *ms <= 60000;
        f.pieceDelayMs = static_cast<uint32_t>(ms.value_or(0));
      } else {
        result.error = base::Format("[%s]: unknown key %s", section.c_str(), key.c_str());
        return result;
      }
      if (!ok) {
        result.error =
            base::Format("[%s]: %s does not read: %s", section.c_str(), key.c_str(), value.c_str());
        return result;
      }
    }
    result.rules.push_back(std::move(f));
  }
  return result;
}

std::shared_ptr<platform::JobFiles> MakeLabJobFiles(std::shared_ptr<platform::JobFiles> inner,
                                                    std::vector<FileFaults> rules, platform::Host& host) {
  return std::make_shared<LabFiles>(std::move(inner), std::move(rules), host);
}

}  // namespace kestrune::sim
