// A write of the HTML test log that fails (its handle made useless under it, or the disk full) is
// repeated on the file opened afresh for appending: the page keeps its head and earlier rows once,
// and the rows written from then on follow them.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/html_log.h"

namespace kestrune::engine {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// The descriptor this process holds open on path (-1 when none).
int DescriptorOf(const fs::path& path) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (fs::read_symlink(entry.path(), ec) == path) return std::stoi(entry.path().filename().string());
  }
  return -1;
}

struct Fault {
  const char* name;
  const char* device;  // put under the log's descriptor
  int flags;
};
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class HtmlLogRecoveryTest : public ::testing::TestWithParam<Fault> {};

TEST_P(HtmlLogRecoveryTest, AFailedWriteAppendsAfterWhatThePageHolds) {
  const fs::path folder = fs::temp_directory_path() / ("kestrune_html_fault_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path page = fs::canonical(folder) / "TestLog.htm";
  fs::remove(page);
  {
    HtmlLogFile log;
    ASSERT_TRUE(log.Open(page.string()));
    ASSERT_TRUE(log.Append("<p>row 1</p>\r\n"));
    ASSERT_TRUE(log.Append("<p>row 2</p>\r\n"));
    const int fd = DescriptorOf(page);
    ASSERT_GE(fd, 0) << "the page is not open";
    // The log's descriptor now leads to a device that refuses the write.
    const int bad = ::open(GetParam().device, GetParam().flags);
    ASSERT_GE(bad, 0);
    ASSERT_EQ(::dup2(bad, fd), fd);
    ::close(bad);
    EXPECT_TRUE(log.Append("<p>row 3</p>\r\n")) << "the write was not repeated on a reopened page";
    EXPECT_TRUE(log.Append("<p>row 4</p>\r\n"));
  }
  EXPECT_EQ(Slurp(page), std::string(kHtmlLogHead) +
                             "<p>row 1</p>\r\n<p>row 2</p>\r\n<p>row 3</p>\r\n<p>row 4</p>\r\n");
  // A later run appends to the same page, without a second head.
  {
    HtmlLogFile log;
    ASSERT_TRUE(log.Open(page.string()));
    ASSERT_TRUE(log.Append("<p>next run</p>\r\n"));
  }
  const std::string all = Slurp(page);
  EXPECT_EQ(all.find(kHtmlLogHead), 0u);
  EXPECT_EQ(all.find(kHtmlLogHead, 1), std::string::npos);
  EXPECT_TRUE(all.ends_with("<p>row 4</p>\r\n<p>next run</p>\r\n"));
  fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Faults, HtmlLogRecoveryTest,
                         ::testing::Values(Fault{"HandleMadeReadOnly", "/dev/null", O_RDONLY},
                                           Fault{"DiskFull", "/dev/full", O_WRONLY}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrune::engine
