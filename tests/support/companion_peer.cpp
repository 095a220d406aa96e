// A stand-in for the companion log viewer, for the checks of LogView_Send and LogView_Wait with
// real processes (Linux, and the Windows build under Wine). It maps the channel block
// "LogView_Sync", waits for the signal "UNIWM_SENDCMD" (companion_peer_platform.h), logs every
// command and key word it finds, and answers key words as its INI file says:
//
//   [Peer]      Log=PATH      every command ("command: X") and key word ("keyword: X"), one a line
//   [Reply]     WORD=TEXT     the reply to key word WORD
//   [Delay]     WORD=MS       wait MS milliseconds before answering WORD
//   [Never]     WORD=1        never answer WORD
//   [Oversize]  WORD=1        answer WORD with a reply that fills its slot without a NUL
//   [Cancel]    WORD=MS       (run form, Linux) never answer WORD: interrupt the program (SIGINT)
//                             MS milliseconds after WORD came, as an operator's Ctrl-C would
//
// A key word without a [Reply] gets "reply to WORD".
// Usage: companion_peer INI READY_FILE
//          creates READY_FILE once both blocks are mapped, and ends on SIGTERM or SIGINT;
//        companion_peer INI --run PROGRAM [ARGUMENT...]
//          starts PROGRAM once both blocks are mapped and answers it until it ends; then prints
//          what it received ("companion: command: X", "companion: keyword: X") and ends with the
//          program's exit code (128 + the signal when a signal ended it). The golden scripts use it.
//          PROGRAM is a full path.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/ini.h"
#include "base/unicode.h"
#include "companion_peer_platform.h"
#include "platform/named_objects.h"
#include "platform/object_names.h"
#include "platform/process.h"

namespace {

using kestrune::base::GetLe16;
using kestrune::base::PutLe16;

constexpr size_t kBlockBytes = 2560;
constexpr size_t kCommandChar = 0;
constexpr size_t kKeywordChar = 128;
constexpr size_t kReplyChar = 256;
constexpr size_t kSlotChars = 128;
constexpr size_t kReplyChars = 1024;

std::atomic<bool> gStop{false};
extern "C" void OnStop(int) { gStop.store(true); }

std::string ReadSlot(const uint8_t* block, size_t firstChar, size_t chars) {
  const uint8_t* p = block + firstChar * 2;
  size_t used = 0;
  while (used < chars * 2 && GetLe16(p + used) != 0) used += 2;
  return kestrune::base::FromUtf16Le(std::string_view(reinterpret_cast<const char*>(p), used));
}

void WriteSlot(uint8_t* block, size_t firstChar, size_t chars, const std::string& text) {
  std::string units = kestrune::base::Utf16Le(text);
  if (units.size() > (chars - 1) * 2) units.resize((chars - 1) * 2);
  uint8_t* p = block + firstChar * 2;
  std::fill(p, p + chars * 2, uint8_t{0});
  std::copy(units.begin(), units.end(), p);
}

// The program's exit code once it has ended, else nothing.
std::optional<int> Ended(kestrune::platform::Process& program) {
  const std::atomic<bool> dontWait{true};
  return program.Wait(&dontWait, 1);
}

}  // namespace

int main(int argc, char** argv) {
  const bool runForm = argc >= 4 && std::string(argv[2]) == "--run";
  if (argc != 3 && !runForm) {
    std::fprintf(stderr, "usage: companion_peer INI READY_FILE | companion_peer INI --run PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  std::optional<kestrune::base::IniFile> ini = kestrune::base::IniFile::Load(argv[1]);
  if (!ini) {
    std::fprintf(stderr, "companion_peer: cannot read %s\n", argv[1]);
    return 2;
  }
  ::signal(SIGTERM, OnStop);
  ::signal(SIGINT, OnStop);
  std::string why;
  auto channel = kestrune::platform::OpenNamedSharedBlock(
      kestrune::platform::SharedObjectName("LogView_Sync"), kBlockBytes, why);
  auto signal = channel ? companion_peer::WatchSignal(why) : nullptr;
  if (!channel || !signal) {
    std::fprintf(stderr, "companion_peer: %s\n", why.c_str());
    return 1;
  }
  std::ofstream logFile;
  std::ostringstream received;  // the run form's record, printed after the program ended
  std::ostream& log = runForm ? static_cast<std::ostream&>(received) : logFile;
  std::unique_ptr<kestrune::platform::Process> child;
  std::optional<int> exitCode;
  if (runForm) {
    std::fflush(stdout);
    child = kestrune::platform::DefaultProcessLauncher().Start(
        argv[3], std::vector<std::string>(argv + 3, argv + argc), "", why);
    if (!child) {
      std::fprintf(stderr, "companion_peer: cannot start %s: %s\n", argv[3], why.c_str());
      return 1;
    }
  } else {
    logFile.open(ini->GetString("Peer", "Log", "/dev/null"), std::ios::app);
    std::ofstream(argv[2]).put('\n');
  }
  uint8_t* block = channel->Bytes().data();
  std::string ignored;  // a key word left unanswered on purpose ([Never])
  while (!gStop.load()) {
    if (runForm && (exitCode = Ended(*child))) break;
    if (!signal->Wait(100)) continue;
    const std::string command = ReadSlot(block, kCommandChar, kSlotChars);
    if (!command.empty()) {
      log << "command: " << command << std::endl;
      WriteSlot(block, kCommandChar, kSlotChars, "");
    }
    const std::string keyword = ReadSlot(block, kKeywordChar, kSlotChars);
    if (keyword.empty()) {
      ignored.clear();
      continue;
    }
    if (keyword == ignored) continue;
    log << "keyword: " << keyword << std::endl;
    if (ini->GetInt("Never", keyword, 0) != 0) {
      ignored = keyword;
      continue;
    }
    if (const int cancelMs = ini->GetInt("Cancel", keyword, -1); runForm && cancelMs >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(cancelMs));
      if (!companion_peer::InterruptProgram(child->Id()))
        std::fprintf(stderr, "companion_peer: cannot interrupt the program here; %s stays unanswered\n",
                     keyword.c_str());
      ignored = keyword;
      continue;
    }
    ignored.clear();
    const int delayMs = ini->GetInt("Delay", keyword, 0);
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (ini->GetInt("Oversize", keyword, 0) != 0) {
      for (size_t i = 0; i < kReplyChars; ++i) PutLe16(block + (kReplyChar + i) * 2, 'Z');
    } else {
      WriteSlot(block, kReplyChar, kReplyChars, ini->GetString("Reply", keyword, "reply to " + keyword));
    }
    // The reply is in place before the key word goes: that is the answer.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    WriteSlot(block, kKeywordChar, kSlotChars, "");
  }
  if (!runForm) return 0;
  if (!exitCode) {  // the stand-in itself was stopped: so is the program
    companion_peer::EndProgram(child->Id());
    child->Wait(nullptr);
    exitCode = 128 + SIGTERM;
  }
  std::istringstream lines(received.str());
  for (std::string line; std::getline(lines, line);) std::cout << "companion: " << line << "\n";
  std::cout.flush();
  return *exitCode;
}
