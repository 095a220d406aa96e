// GetFeature and SetFeature, and their fixed forms for the thermal management temperatures and the
// volatile write cache.
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "devcmd/nvme_features.h"
#include "disk/nvme_operations.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;

constexpr uint32_t kTemperatureFeature = 0x10;
constexpr uint32_t kWriteCacheFeature = 0x06;

int32_t GetFeatures(engine::Interpreter& interp, uint32_t fid, uint32_t& value) {
  value = 0;
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return code::kOpenDiskFailed;
  return disk::GetFeatures(*target.tree, *target.disk, fid, &value);
}

int32_t SetFeatures(engine::Interpreter& interp, uint32_t fid, bool save, uint32_t value) {
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return code::kOpenDiskFailed;
  return disk::SetFeatures(*target.tree, *target.disk, fid, save, value);
}

constexpr auto& Line = engine::DetailLine;

// The fixed forms end with the transport's result. A failure is reported; a success is kept as the
// view's last completion code without reporting it, since a reported code of 0 or more ends the run.
void Complete(engine::Interpreter& interp, uint32_t view, int32_t rc) {
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  interp.view(view).lastCode = rc;
}

// iValue = GetFeature( FeatureId:0x10 );
void GetFeature(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"FeatureId"});
  const uint32_t fid = in.U32(0x10);
  if (!in.ok()) return;
  if (std::optional<std::string_view> feature = FeatureName(fid))
    Line(interp, view, "Feature ID " + std::string(*feature), engine::colour::kCyan);
  uint32_t value = 0;
  const int32_t rc = GetFeatures(interp, fid, value);
  engine::StoreValue(v.vars, errors, name, engine::Value::Number(value));
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  Line(interp, view, Format("Feature Value  : 0x%08X", value), engine::colour::kYellow);
  for (const std::string& field : FeatureFields(fid, value))
    Line(interp, view, field, engine::colour::kWhite);
}

// SetFeature( FeatureId:0x10, Save:FALSE, CDW11:0x0161016B );
void SetFeature(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"FeatureId", "Save", "CDW11"});
  const uint32_t fid = in.U32(0x10);
  const bool save = in.Bool(false);
  const uint32_t value = in.U32(0x0161016B);
  if (!in.ok()) return;
  const int32_t rc = SetFeatures(interp, fid, save, value);
  if (rc < 0) interp.ReportCompletion(view, rc, "");
}

void GetFeatureTemperatureTH(engine::Interpreter& interp, uint32_t view, std::string_view,
                             std::string_view name) {
  engine::ReportingSink errors(interp, view);
  uint32_t value = 0;
  const int32_t rc = GetFeatures(interp, kTemperatureFeature, value);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(value));
  if (rc >= 0)
    for (const std::string& line : ThermalTemperatureLines(value))
      Line(interp, view, line, engine::colour::kWhite);
  Complete(interp, view, rc);
}

// SetFeature_TemperatureTH( KTemperature1:348, KTemperature2:358 ): both in Kelvin, each in its
// 16-bit half of the value.
void SetFeatureTemperatureTH(engine::Interpreter& interp, uint32_t view, std::string_view args,
                             std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"KTemperature1", "KTemperature2"});
  const uint32_t t1 = in.U32(348);
  const uint32_t t2 = in.U32(358);
  if (!in.ok()) return;
  if (t1 > 0xFFFF || t2 > 0xFFFF)
    return interp.ReportCompletion(view, code::kBadParameter,
                                   "KTemperature1 and KTemperature2 must not exceed 0xFFFF");
  const int32_t rc = SetFeatures(interp, kTemperatureFeature, true, (t1 << 16) | t2);
  if (rc >= 0) engine::StoreValue(v.vars, errors, name, engine::Value::Number(rc));
  Complete(interp, view, rc);
}

void GetFeatureWriteCache(engine::Interpreter& interp, uint32_t view, std::string_view,
                          std::string_view name) {
  engine::ReportingSink errors(interp, view);
  uint32_t value = 0;
  const int32_t rc = GetFeatures(interp, kWriteCacheFeature, value);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(value));
  if (rc >= 0)
    Line(interp, view, Format("Device Cache Enable : %d", static_cast<int32_t>(value)),
         engine::colour::kWhite);
  Complete(interp, view, rc);
}

// SetFeature_WriteCache( Enable:TRUE );
void SetFeatureWriteCache(engine::Interpreter& interp, uint32_t view, std::string_view args,
                          std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"Enable"});
  const bool enable = in.Bool(true);
  const int32_t rc = SetFeatures(interp, kWriteCacheFeature, true, enable ? 1 : 0);
  if (rc >= 0) engine::StoreValue(v.vars, errors, name, engine::Value::Number(rc));
  Complete(interp, view, rc);
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"GetFeature", engine::kNvmeOnly, GetFeature},
    {"SetFeature", engine::kNvmeOnly, SetFeature},
    {"GetFeature_TemperatureTH", engine::kNvmeOnly, GetFeatureTemperatureTH},
    {"SetFeature_TemperatureTH", engine::kNvmeOnly, SetFeatureTemperatureTH},
    {"GetFeature_WriteCache", engine::kNvmeOnly, GetFeatureWriteCache},
    {"SetFeature_WriteCache", engine::kNvmeOnly, SetFeatureWriteCache},
};

}  // namespace

std::span<const engine::HandlerRow> FeatureHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
