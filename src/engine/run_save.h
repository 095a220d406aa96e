// A run saved before the machine restarts, so that the run goes on after it: the five files of the
// view's state (variables, the three block lists, the view record) and a sixth, the resume record,
// written last. The resume record names the script and the disk, where to go on, the run's folders
// and counters, and the length and CRC of each other file, so that a resume never mixes files of two
// saves and refuses a damaged, truncated, foreign or newer set.
//
// Files are "<folder>/ScreenAPId<id>_<part>"; each is replaced atomically and synced.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/view.h"

namespace kestrune::engine {

inline constexpr uint32_t kRunSaveVersion = 1;

// Record sizes of the state files.
inline constexpr size_t kVarRecordSize = 2192;
inline constexpr size_t kBlockRecordSize = 32;
inline constexpr size_t kScriptInfoSize = 53472;

// The resume record (the sixth file).
struct ResumeRecord {
  uint32_t version = kRunSaveVersion;
  uint32_t saveId = 0;
  uint32_t rebootCount = 0;    // the frame number: saves made by this run so far
  std::string scriptPath;
  uint32_t scriptCrc = 0;      // CRC-32 of the script file's bytes
  uint64_t scriptSize = 0;
  uint32_t resumeOffset = 0;   // where the run goes on: just past the saving statement
  int32_t loopLevel = 0;
  int32_t breakLevel = -1;
  std::string scriptFolder;
  std::string logFolder;
  std::string baseLogFolder;
  std::string logDataPath;
  std::string uploadFolder;
  std::string outputMirror;    // the "/outfile" mirror of the console, "" when none
  uint64_t lineCounter = 0;    // output lines so far, so that later dump files get new names
  uint64_t elapsedMs = 0;      // run time before the save, so that RunTime goes on counting
  std::string diskIdentity;    // DRVHW text of the run's disk, "" when none
  std::string diskSerial;
  std::string hubPort;
  int32_t lastCode = 0;
  std::string lastDescription;
  struct FileCheck {
    std::string part;
    uint64_t length = 0;
    uint32_t crc = 0;
  };
  std::vector<FileCheck> files;  // the five state files
};

// What a save restores of a view besides the record's fields.
struct SavedState {
  std::vector<Variable> vars;
  std::vector<BlockNode> mainList;
  std::vector<BlockNode> subList;
  std::vector<int32_t> loopList;
};

// "<folder>/ScreenAPId<id>_<part>".
std::string RunSavePath(const std::string& folder, uint32_t saveId, const std::string& part);
// The five state files, in writing order, then the resume record's part name.
const std::vector<std::string>& RunSaveStateParts();
inline constexpr const char* kResumePart = "Resume.sct";

// The state files' bytes for a view (a name or text that does not fit its field fails: why says
// which). record gives the fields of the view record; its files list is filled in.
struct SaveImage {
  std::vector<std::pair<std::string, std::string>> files;  // part -> bytes, resume record last
};
std::optional<SaveImage> BuildRunSave(const View& v, ResumeRecord& record, std::string& why);

// Writes every file of image into folder (state files first, the resume record last). False with
// why on the first file that cannot be written.
bool WriteRunSave(const std::string& folder, uint32_t saveId, const SaveImage& image, std::string& why);

// The resume record's text, and its reading back (version, CRC and every field checked).
std::string ResumeRecordText(const ResumeRecord& record);
std::optional<ResumeRecord> ParseResumeRecord(const std::string& text, std::string& why);

// Reads the save of saveId from folder: the resume record, then each state file, checked against
// the record's length and CRC. nullopt with why naming what is wrong.
struct LoadedSave {
  ResumeRecord record;
  SavedState state;
};
std::optional<LoadedSave> LoadRunSave(const std::string& folder, uint32_t saveId, std::string& why);

// Removes the save's files.
void RemoveRunSave(const std::string& folder, uint32_t saveId);

}  // namespace kestrune::engine
