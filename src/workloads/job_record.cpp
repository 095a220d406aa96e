#include "workloads/job_record.h"

#include <nlohmann/json.hpp>

#include "workloads/byte_range.h"
#include "workloads/performance_files.h"

namespace kestrune::workloads {
namespace {

using nlohmann::ordered_json;

// Per second from a count over ms milliseconds; 0 when no time passed.
double PerSecond(double amount, uint64_t ms) { return ms == 0 ? 0.0 : amount * 1000.0 / static_cast<double>(ms); }

ordered_json Latency(const LatencyHistogram& h, uint64_t frequency) {
  const auto us = [frequency](uint64_t ticks) {
    return frequency == 0 ? 0.0 : static_cast<double>(ticks) * 1e6 / static_cast<double>(frequency);
  };
  return {{"count", h.count()},
          {"mean", frequency == 0 ? 0.0 : h.mean() * 1e6 / static_cast<double>(frequency)},
          {"p50", us(h.AtPercentile(50000))},
          {"p99", us(h.AtPercentile(99000))},
          {"p99_9", us(h.AtPercentile(99900))},
          {"p99_99", us(h.AtPercentile(99990))},
          {"max", us(h.max())}};
}

}  // namespace

std::string JobRecordJson(const JobRecord& r) {
  const JobRequest& q = r.plan.request;
  ordered_json j;
  j["command"] = r.command;
  j["parameters"] = {{"lba", q.lba},
                     {"rangeLenMB", q.rangeLenMB},
                     {"accessSize", q.accessSize},
                     {"accessSpan", q.accessSpan},
                     {"queueDepth", q.queueDepth},
                     {"perWorker", q.perWorker},
                     {"writeRatio", q.writeRatio},
                     {"randomRatio", q.randomRatio},
                     {"limitMB", q.limitMB},
                     {"limitTimeSec", r.plan.limitTimeSec},
                     {"dotPerSec", r.plan.dotPerSec},
                     {"getTemperatureSec", r.plan.getTemperatureSec},
                     {"pattern", r.plan.pattern}};
  j["target"] = {{"path", r.target.path},
                 {"mode", r.target.mode},
                 {"model", r.target.model},
                 {"sectorSize", r.target.sectorSize},
                 {"capacityBytes", r.target.capacityBytes}};
  ordered_json cycles = ordered_json::array();
  for (const CycleRecord& c : r.cycles) {
    const uint64_t ms = c.stats.transferMs;
    const double size = q.accessSize == 0 ? 1.0 : static_cast<double>(q.accessSize);
    cycles.push_back({{"cycle", c.cycle},
                      {"transferMB", c.stats.transferMB},
                      {"transferMs", ms},
                      {"readBytes", c.readBytes},
                      {"writeBytes", c.writeBytes},
                      {"readMBps", PerSecond(static_cast<double>(c.readBytes) / kMiB, ms)},
                      {"writeMBps", PerSecond(static_cast<double>(c.writeBytes) / kMiB, ms)},
                      {"readIOPS", PerSecond(static_cast<double>(c.readBytes) / size, ms)},
                      {"writeIOPS", PerSecond(static_cast<double>(c.writeBytes) / size, ms)},
                      {"maxKBps", c.stats.maxKBps},
                      {"avgKBps", c.stats.avgKBps},
                      {"minKBps", c.stats.minKBps},
                      {"maxIOps", c.stats.maxIOps},
                      {"avgIOps", c.stats.avgIOps},
                      {"minIOps", c.stats.minIOps},
                      {"samples", c.stats.sampleCount},
                      {"state", JobStateName(c.state)}});
  }
  j["cycles"] = cycles;
  if (const ThroughputOutcome* o = r.outcome) {
    ordered_json buckets = ordered_json::array();
    for (size_t i = 0; i < kLatencyBucketCount; ++i) {
      ordered_json b = {{"label", kBucketLabels[i]}, {"upperUs", nullptr}, {"count", o->buckets[i]}};
      if (i < kLatencyBoundsUs.size()) b["upperUs"] = kLatencyBoundsUs[i];
      buckets.push_back(b);
    }
    j["buckets"] = buckets;
    j["latencyUs"] = {{"read", Latency(o->readLatency, o->tickFrequency)},
                      {"write", Latency(o->writeLatency, o->tickFrequency)}};
    j["engine"] = {{"mechanism", o->mechanism}, {"workers", o->workers}, {"slots", o->slots}};
    j["readBytes"] = o->readBytes;
    j["writeBytes"] = o->writeBytes;
    j["readIOPS"] = PerSecond(static_cast<double>(o->readLatency.count()), o->jobMs);
    j["writeIOPS"] = PerSecond(static_cast<double>(o->writeLatency.count()), o->jobMs);
    j["jobBytes"] = o->jobBytes;
    j["jobMs"] = o->jobMs;
    j["lastOffset"] = o->lastOffset;
    j["endState"] = JobStateName(o->state);
    j["code"] = o->code;
    j["failure"] = o->failure;
  }
  return j.dump(2) + "\n";
}

}  // namespace kestrune::workloads
