#include "workloads/file_job_table.h"

#include <vector>

namespace kestrune::workloads {

FileJobTable::~FileJobTable() {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& [id, job] : jobs_) job->cancel.store(true);
  for (auto& [id, job] : jobs_)
    if (job->thread.joinable()) job->thread.join();
}

std::shared_ptr<FileJob> FileJobTable::Start(uint32_t view, int32_t running,
                                             std::function<void(FileJob&)> work) {
  auto job = std::make_shared<FileJob>();
  job->view = view;
  job->state.store(running);
  {
    std::lock_guard<std::mutex> guard(lock_);
    job->id = nextId_++;
    jobs_[job->id] = job;
  }
  FileJob* j = job.get();
  j->thread = std::thread([j, work = std::move(work)] {
    work(*j);
    j->done.store(true, std::memory_order_release);
  });
  return job;
}

std::shared_ptr<FileJob> FileJobTable::Find(uint32_t view, int64_t id) {
  if (id <= 0 || id > UINT32_MAX) return nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = jobs_.find(static_cast<uint32_t>(id));
  return it != jobs_.end() && it->second->view == view ? it->second : nullptr;
}

bool FileJobTable::Join(FileJob& job, bool wait) {
  if (!job.thread.joinable()) return true;
  if (!wait && !job.done.load(std::memory_order_acquire)) return false;
  job.thread.join();
  return true;
}

std::vector<std::shared_ptr<FileJob>> FileJobTable::EndRun(uint32_t view) {
  std::vector<std::shared_ptr<FileJob>> mine;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      if (it->second->view == view) {
        mine.push_back(it->second);
        it = jobs_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& job : mine) job->cancel.store(true);
  for (auto& job : mine) Join(*job, true);
  return mine;
}

}  // namespace kestrune::workloads
