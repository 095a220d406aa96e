#include "workloads/job_state.h"

#include <iterator>

#include "base/completion_codes.h"

namespace kestrune::workloads {
namespace {

int Rank(JobState s) {
  switch (s) {
    case JobState::Running:
      return 0;
    case JobState::CycleDone:
    case JobState::TransferLimit:
    case JobState::TimeLimit:
      return 1;
    case JobState::Cancelled:
      return 2;
    case JobState::ForcedStop:
      return 3;
    case JobState::ReadFailed:
    case JobState::WriteFailed:
    case JobState::ResponseTimeout:
    case JobState::TooManyPoints:
      return 4;
  }
  return 4;  // an unknown value is treated as a failure: nothing overwrites it
}

}  // namespace

bool Replaces(JobState next, JobState current) { return Rank(next) > Rank(current); }

bool RaiseState(std::atomic<JobState>& state, JobState next) {
  JobState current = state.load();
  while (Replaces(next, current))
    if (state.compare_exchange_weak(current, next)) return true;
  return false;
}

bool RestartCycle(std::atomic<JobState>& state) {
  JobState current = state.load();
  if (current == JobState::Running) return true;
  return current == JobState::CycleDone && state.compare_exchange_strong(current, JobState::Running);
}

int32_t JobResultCode(JobState state) {
  switch (state) {
    case JobState::ReadFailed:
      return base::code::kReadFailed;
    case JobState::WriteFailed:
      return base::code::kWriteFailed;
    case JobState::ResponseTimeout:
      return base::code::kIoResponseTimeout;
    case JobState::TooManyPoints:
      return base::code::kTooMuchMemory;
    default:
      return base::code::kSuccessTrue;
  }
}

const char* JobStateName(JobState state) {
  static constexpr const char* kNames[] = {"Running",    "CycleDone",  "Cancelled",   "TransferLimit",
                                           "TimeLimit",  "ForcedStop", "ReadFailed",  "WriteFailed",
                                           "ResponseTimeout", "TooManyPoints"};
  const auto i = static_cast<uint32_t>(state);
  return i < std::size(kNames) ? kNames[i] : "Unknown";
}

}  // namespace kestrune::workloads
