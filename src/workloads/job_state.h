// The state of a throughput job and its one rule of change: a state replaces another only when it
// ranks higher, so that a failure seen by one worker is never overwritten by a later cycle end,
// limit or cancel seen by another.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrune::workloads {

enum class JobState : uint32_t {
  Running = 0,          // requests are issued
  CycleDone = 1,        // the cycle's range was covered
  Cancelled = 2,        // the view's cancel flag was seen
  TransferLimit = 3,    // the job's byte limit was reached
  TimeLimit = 4,        // the job's time limit elapsed
  ForcedStop = 5,       // workers did not finish within 10 s of a cancel
  ReadFailed = 6,       // a read failed to start or completed with an error
  WriteFailed = 7,      // a write failed to start or completed with an error
  ResponseTimeout = 8,  // no request was issued for 30 s
  TooManyPoints = 9,    // too many samples in one cycle
};

// Ranks, lowest first: Running; the normal ends (CycleDone, TransferLimit, TimeLimit); Cancelled;
// ForcedStop; the failures (ReadFailed, WriteFailed, ResponseTimeout, TooManyPoints). A state
// replaces the current one only when its rank is higher. So failures are never replaced; Cancelled
// only by ForcedStop (the escalation of that cancel) or a failure; ForcedStop only by a failure; and
// a normal end only replaces Running.
bool Replaces(JobState next, JobState current);

// Sets next when it replaces the current state (compare-exchange, safe from any thread). True when
// next is the state afterwards because of this call.
bool RaiseState(std::atomic<JobState>& state, JobState next);

// Starts a cycle: Running again after CycleDone (or still Running before the first cycle). False,
// with the state untouched, when the job has ended in any other state. Coordinator only, while no
// worker runs.
bool RestartCycle(std::atomic<JobState>& state);

// "Running", "CycleDone", ... as the enumerators are named.
const char* JobStateName(JobState state);

// The completion code of a job that ended in state: ReadFailed kReadFailed, WriteFailed
// kWriteFailed, ResponseTimeout kIoResponseTimeout, TooManyPoints kTooMuchMemory, any other
// kSuccessTrue.
int32_t JobResultCode(JobState state);

}  // namespace kestrune::workloads
