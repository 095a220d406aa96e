#include "workloads/job_state.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace kestrune::workloads {
namespace {

using S = JobState;
const S kAll[] = {S::Running,    S::CycleDone,  S::Cancelled,   S::TransferLimit,   S::TimeLimit,
                  S::ForcedStop, S::ReadFailed, S::WriteFailed, S::ResponseTimeout, S::TooManyPoints};

TEST(JobState, FailuresWinCancelsOnlyYieldToThemAndNormalEndsOnlyReplaceRunning) {
  struct Row {
    S current;
    std::set<S> replacedBy;
  };
  const std::set<S> failures = {S::ReadFailed, S::WriteFailed, S::ResponseTimeout, S::TooManyPoints};
  std::set<S> afterNormalEnd = failures;
  afterNormalEnd.insert({S::Cancelled, S::ForcedStop});
  std::set<S> afterCancel = failures;
  afterCancel.insert(S::ForcedStop);  // the coordinator escalates a cancel that workers do not finish
  const Row rows[] = {
      {S::Running, {std::begin(kAll) + 1, std::end(kAll)}},
      {S::CycleDone, afterNormalEnd},
      {S::TransferLimit, afterNormalEnd},
      {S::TimeLimit, afterNormalEnd},
      {S::Cancelled, afterCancel},
      {S::ForcedStop, failures},
      {S::ReadFailed, {}},
      {S::WriteFailed, {}},
      {S::ResponseTimeout, {}},
      {S::TooManyPoints, {}},
  };
  for (const Row& row : rows) {
    for (S next : kAll) {
      std::atomic<S> state{row.current};
      const bool expected = row.replacedBy.count(next) != 0;
      EXPECT_EQ(RaiseState(state, next), expected)
          << static_cast<int>(next) << " over " << static_cast<int>(row.current);
      EXPECT_EQ(state.load(), expected ? next : row.current);
    }
  }
}

TEST(JobState, AFailureSeenByOneWorkerSurvivesTheEndsOthersSeeLater) {
  for (int round = 0; round < 20; ++round) {
    std::atomic<S> state{S::Running};
    std::vector<std::jthread> workers;
    for (int w = 0; w < 4; ++w)
      workers.emplace_back([&, w] {
        for (int i = 0; i < 200; ++i) {
          RaiseState(state, w == 0 && i == 100 ? S::ReadFailed : (i % 2 ? S::CycleDone : S::Cancelled));
          RaiseState(state, S::TransferLimit);
        }
      });
    workers.clear();
    EXPECT_EQ(state.load(), S::ReadFailed) << "round " << round;
  }
}

TEST(JobState, OnlyACycleDoneOrRunningJobStartsAnotherCycle) {
  for (S s : kAll) {
    std::atomic<S> state{s};
    const bool restarts = s == S::Running || s == S::CycleDone;
    EXPECT_EQ(RestartCycle(state), restarts) << static_cast<int>(s);
    EXPECT_EQ(state.load(), restarts ? S::Running : s);
  }
}

}  // namespace
}  // namespace kestrune::workloads
