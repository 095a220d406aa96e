// The background jobs of File_Write and File_Read. Each job has a number of its own (from 1, never
// given again in the process), so that a script's job ID cannot come to name a later job; its
// state is an atomic the run thread reads. A job thread writes only its own output lines and leaves
// its failure in the record; the run thread reports it when it waits for the job, else at the next
// File_JobState of that job, else at the end of the run, which also cancels and joins the jobs
// still open.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::workloads {

// The values of a job's state (and of its variable "_FThread<id>").
inline constexpr int32_t kWriteJobRunning = 17;
inline constexpr int32_t kWriteJobFinished = 31;
inline constexpr int32_t kReadJobRunning = 33;
inline constexpr int32_t kReadJobFinished = 47;

struct FileJob {
  uint32_t id = 0;
  uint32_t view = 0;
  std::atomic<int32_t> state{0};
  // Set by the end of the run; the job stops at it as at the view's cancel flag.
  std::atomic<bool> cancel{false};
  std::atomic<bool> done{false};
  // Written by the job thread before done turns true; read by the run thread after the join.
  int32_t failure = 0;
  std::string failureDetail;
  std::string dumpPath;  // the first block's dump, once written
  std::thread thread;
  bool reported = false;  // run thread only
};

class FileJobTable {
 public:
  FileJobTable() = default;
  // Cancels and joins every job still open.
  ~FileJobTable();
  FileJobTable(const FileJobTable&) = delete;
  FileJobTable& operator=(const FileJobTable&) = delete;

  // Makes a job of view in state running and runs work(job) on its own thread; work sets the
  // finished state itself. Run thread.
  std::shared_ptr<FileJob> Start(uint32_t view, int32_t running, std::function<void(FileJob&)> work);

  // The job numbered id of view; nullptr when there is none. Run thread.
  std::shared_ptr<FileJob> Find(uint32_t view, int64_t id);

  // Joins the job's thread once it has ended (at once when wait is true, which blocks until then).
  // True when the thread is joined: the failure fields may then be read. Run thread.
  static bool Join(FileJob& job, bool wait);

  // The jobs of view that are still listed, and drops them from the table: the end of a run. Each
  // is cancelled and joined first. Run thread.
  std::vector<std::shared_ptr<FileJob>> EndRun(uint32_t view);

 private:
  std::mutex lock_;
  uint32_t nextId_ = 1;
  std::map<uint32_t, std::shared_ptr<FileJob>> jobs_;
};

}  // namespace kestrune::workloads
