// Parse_FileHex( File:"", StructFile:"" ): decodes a data file with a field table built from a
// structure definition file (devcmd/struct_definition.h), every field with its offset, then the
// structure's size.
#include "devcmd/parse_filehex_command.h"

#include <string>
#include <variant>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/line_sink.h"
#include "devcmd/struct_definition.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/output.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

// The file a parameter names, asked for when empty; nullopt when the command is over (a cancelled
// choice, or -11 with the name reported).
std::optional<std::vector<uint8_t>> ReadNamedFile(engine::Interpreter& interp, uint32_t view, std::string name,
                                                  engine::FileChoice choice) {
  if (!engine::ChooseFileIfEmpty(interp, view, name, std::move(choice))) return std::nullopt;
  const std::optional<std::string> path = engine::LookupFile(name, interp.Folders(view));
  std::optional<std::vector<uint8_t>> bytes = path ? platform::ReadWholeFile(*path) : std::nullopt;
  if (!bytes) interp.ReportCompletion(view, code::kFileOpenFailed, name);
  return bytes;
}

void ParseFileHex(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "StructFile"});
  const std::string file = in.Text(""), structFile = in.Text("");
  if (!in.ok()) return;
  const std::optional<std::vector<uint8_t>> data = ReadNamedFile(interp, view, file, engine::FileChoice::Open("Hex File", "hex"));
  if (!data) return;
  const std::optional<std::vector<uint8_t>> definition =
      ReadNamedFile(interp, view, structFile, engine::FileChoice::Open("Struct File", "h"));
  if (!definition) return;
  const auto parsed = ParseStructDefinition(std::string_view(reinterpret_cast<const char*>(definition->data()), definition->size()));
  if (const auto* error = std::get_if<StructError>(&parsed)) return interp.ReportCompletion(view, code::kError, error->text);
  const StructDefinition& def = std::get<StructDefinition>(parsed);
  const std::vector<FieldRow> rows = def.Rows();
  ViewLineSink sink(interp, view);
  DecodeOptions options;
  options.showOffset = true;
  DecodeRecord(sink, *data, rows, options);
  sink.Write(base::Format("Sizeof Struct : %llu", static_cast<unsigned long long>(def.size)), engine::colour::kCyan);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"Parse_FileHex", engine::kAnyDisk, ParseFileHex},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterParseCommands(engine::Interpreter& interp) { return interp.Register({kHandlers}); }

}  // namespace kestrune::devcmd
