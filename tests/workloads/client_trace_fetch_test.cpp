// The client master trace fetched from the lab's file server: every failure gives -11 with its
// reason and leaves nothing in the work folder; a good fetch renames the zip and extracts the trace.
#include "workloads/client_trace_fetch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/zip_archive.h"
#include "engine/command_fixture.h"
#include "platform/files.h"
#include "platform/host.h"
#include "sim/lab_file_fetch.h"
#include "workloads/file_server_download.h"

namespace kestrune::workloads {
namespace {

constexpr char kPassword[] = "Secr3t-pw";

std::vector<uint8_t> TraceText() {
  // Random addresses: the zip stays several pieces of the lab's transfer long.
  std::string text;
  uint32_t x = 7;
  for (int i = 0; i < 30000; ++i) {
    x = x * 1103515245 + 12345;
    text += (i % 3 ? "$write " : "$trims ") + std::to_string(x >> 2) + " " + std::to_string(x % 256) + "\n";
  }
  return {text.begin(), text.end()};
}

sim::LabFetchRules Fault(sim::LabFetchFault fault) {
  sim::LabFetchRules rules;
  rules.fault = fault;
  return rules;
}

class ClientTraceFetchTest : public engine::CommandFixture<> {
 protected:
  void SetUp() override {
    server = dir.path() + "/server";
    work = dir.path() + "/work";
    ASSERT_TRUE(host.CreateFolders(server + "/JEDEC_Client"));
    fetch = std::make_shared<sim::LabFileFetch>(server);
    UseFileServer(interp, {"fileserver.lab", 21, "tester", kPassword}, "Station.ini", fetch);
  }
  void Publish(const std::vector<uint8_t>& zip) {
    ASSERT_TRUE(platform::WriteWholeFile(server + "/JEDEC_Client/Client_128_GB_Master_Trace.zip", zip));
  }
  // A fresh work folder, the fetch, and what it left there.
  int Fetch(std::string& reason, std::vector<std::string>& left) {
    std::filesystem::remove_all(work);
    EXPECT_TRUE(host.CreateFolders(work));
    interp.CancelFlag(0) = false;
    std::string trace;
    const int code = FetchClientTrace(interp, 0, work, trace, reason);
    if (code == 0) {
      EXPECT_EQ(trace, work + "/Client_128_GB_Master_Trace.txt");
    }
    left = platform::ListFiles(work);
    return code;
  }
  size_t LinesStartingWith(std::string_view prefix) {
    size_t n = 0;
    for (const engine::OutputLine& l : Lines()) n += l.text.starts_with(prefix) ? 1 : 0;
    return n;
  }

  std::string server, work;
  std::shared_ptr<sim::LabFileFetch> fetch;
};

TEST_F(ClientTraceFetchTest, EveryFailureIsMinus11AndLeavesNothing) {
  Publish(base::WriteZip({{"Client_128_GB_Master_Trace.txt", TraceText()}}, false));
  struct Case {
    const char* what;
    sim::LabFetchRules rules;
    std::string says;
  };
  sim::LabFetchRules wrongAccount;
  wrongAccount.user = "tester";
  wrongAccount.password = "another";
  sim::LabFetchRules cancelled;
  cancelled.cancelAt = 64 * 1024;
  cancelled.cancel = &interp.CancelFlag(0);
  const std::vector<Case> cases = {
      {"no answer", Fault(sim::LabFetchFault::kNoServer), "does not answer"},
      {"refused", Fault(sim::LabFetchFault::kRefused), "refused the connection"},
      {"bad login", wrongAccount, "refused the login"},
      {"missing", Fault(sim::LabFetchFault::kMissing), "no such file"},
      {"stalled", Fault(sim::LabFetchFault::kStalled), "stalled"},
      {"short, reported as done", Fault(sim::LabFetchFault::kShort), "ended early"},
      {"cancelled", cancelled, "cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fetch->SetRules(c.rules);
    std::string reason;
    std::vector<std::string> left;
    EXPECT_EQ(Fetch(reason, left), base::code::kFileOpenFailed);
    EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
    EXPECT_NE(reason.find("Client Master trace file"), std::string::npos) << reason;
    EXPECT_EQ(reason.find(kPassword), std::string::npos);
    EXPECT_TRUE(left.empty()) << left.front();
  }
  for (const engine::OutputLine& l : Lines()) EXPECT_EQ(l.text.find(kPassword), std::string::npos) << l.text;
}

TEST_F(ClientTraceFetchTest, NoServerConfiguredNamesTheStationFile) {
  UseFileServer(interp, {"", 21, "", ""}, "/opt/kestrune/Station.ini", fetch);
  std::string reason;
  std::vector<std::string> left;
  EXPECT_EQ(Fetch(reason, left), base::code::kFileOpenFailed);
  EXPECT_NE(reason.find("no file server configured ([FILESERVER] Server= in /opt/kestrune/Station.ini)"),
            std::string::npos)
      << reason;
  EXPECT_EQ(fetch->fetches(), 0u);
  EXPECT_TRUE(left.empty());
}

// A zip that does not give the trace goes too, so that the next run fetches anew.
TEST_F(ClientTraceFetchTest, AZipWithoutAGoodTraceLeavesNothing) {
  std::vector<uint8_t> damaged = base::WriteZip({{"Client_128_GB_Master_Trace.txt", TraceText()}}, false);
  damaged[30 + 30 + 200] ^= 0xFF;  // inside the deflated trace
  struct Case {
    const char* what;
    std::vector<uint8_t> zip;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"no trace inside", base::WriteZip({{"readme.txt", {'x'}}}, false),
       "holds no Client_128_GB_Master_Trace.txt"},
      {"damaged trace", damaged, "cannot extract Client_128_GB_Master_Trace.txt"},
      {"not a zip", std::vector<uint8_t>(5000, 'z'), "no central directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Publish(c.zip);
    std::string reason;
    std::vector<std::string> left;
    EXPECT_EQ(Fetch(reason, left), base::code::kFileOpenFailed);
    EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
    EXPECT_TRUE(left.empty()) << left.front();
  }
}

TEST_F(ClientTraceFetchTest, AWholeFetchIsRenamedAndExtracted) {
  const std::vector<uint8_t> trace = TraceText();
  for (bool zip64 : {false, true}) {
    SCOPED_TRACE(zip64 ? "zip64" : "plain");
    const std::vector<uint8_t> zip =
        base::WriteZip({{"Client_128_GB_Master_Trace.txt", trace}}, false, zip64);
    Publish(zip);
    fetch->SetRules({});
    const size_t before = LinesStartingWith("Download Client Master trace file: ");
    std::filesystem::remove_all(work);
    ASSERT_TRUE(host.CreateFolders(work));
    // A piece a crashed run left is replaced, not appended to.
    ASSERT_TRUE(platform::WriteWholeFile(work + "/Client_128_GB_Master_Trace.zip.part",
                                         std::vector<uint8_t>{'o', 'l', 'd'}));
    std::string traceFile, reason;
    ASSERT_EQ(FetchClientTrace(interp, 0, work, traceFile, reason), 0) << reason;
    EXPECT_EQ(platform::ListFiles(work),
              (std::vector<std::string>{"Client_128_GB_Master_Trace.txt", "Client_128_GB_Master_Trace.zip"}));
    EXPECT_EQ(platform::ReadWholeFile(work + "/Client_128_GB_Master_Trace.zip"), zip);
    EXPECT_EQ(platform::ReadWholeFile(traceFile), trace);
    // The progress stays on one line, rewritten in place, and ends whole.
    EXPECT_EQ(LinesStartingWith("Download Client Master trace file: "), before + 1);
    EXPECT_TRUE(Lines().size() >= 2);
    EXPECT_TRUE(Lines()[Lines().size() - 2].text.ends_with("(100%) done"))
        << Lines()[Lines().size() - 2].text;
    EXPECT_EQ(Lines().back().text, "Extract Client_128_GB_Master_Trace.txt: 100% done");
  }
}

TEST(FileServerDownload, SecretsNeverShow) {
  struct Case {
    const char* reason;
    const char* secret;
    const char* want;
  };
  const Case cases[] = {
      {"login pw1 failed for pw1", "pw1", "login **** failed for ****"},
      {"nothing to hide", "", "nothing to hide"},
      {"aaaa", "aa", "********"},
  };
  for (const Case& c : cases) EXPECT_EQ(WithoutSecret(c.reason, c.secret), c.want) << c.reason;
}

}  // namespace
}  // namespace kestrune::workloads
