// The built-in functions of the block language.
#include <functional>
#include <map>

#include "platform/strings.h"
#include "scriptengine/block_interpreter.h"
#include "scriptengine/data_export.h"
#include "scriptengine/errors.h"
#include "scriptengine/script_executor.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {
namespace {

// The number ibec_GetDefaultConnection gives: the block has one connection.
constexpr int64_t kDefaultConnection = 1;

using BuiltIn = std::function<Value(BlockInterpreter&, const std::vector<Value>&, size_t)>;

void ExpectArgs(const std::vector<Value>& args, size_t count, const char* name, size_t line) {
  if (args.size() != count) {
    BlockFailure(line, std::string(name) + " takes " + std::to_string(count) + " argument" +
                           (count == 1 ? "" : "s") + ", not " + std::to_string(args.size()));
  }
}

std::string TextArg(const Value& value, const char* name, size_t line) {
  if (value.IsNull()) BlockFailure(line, std::string(name) + ": an argument is NULL");
  return ValueText(value);
}

void Write(BlockInterpreter& block, const std::vector<Value>& args, size_t line, bool new_line) {
  platform::OutputFile& file = block.File(args[0], line);
  std::string text = ValueText(args[1]);
  if (new_line) text += "\r\n";
  platform::Status written = file.Write(text);
  if (!written) throw ScriptError("the file cannot be written: " + written.error().Describe());
}

const std::map<std::string, BuiltIn>& BuiltIns() {
  static const std::map<std::string, BuiltIn> functions = {
      {"IBEC_GETDEFAULTCONNECTION",
       [](BlockInterpreter&, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 0, "ibec_GetDefaultConnection", line);
         return Value::Integer(kDefaultConnection);
       }},
      {"IBEC_FS_OPENFILE",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 2, "ibec_fs_OpenFile", line);
         const std::string name = TextArg(args[0], "ibec_fs_OpenFile", line);
         const std::string mode = platform::AsciiLower(TextArg(args[1], "ibec_fs_OpenFile", line));
         if (mode != "create" && mode != "append") {
           BlockFailure(line,
                        "ibec_fs_OpenFile: the mode is 'create' or 'append', not '" + mode + "'");
         }
         const std::string path = ScriptFilePath(block.Environment().folder, name);
         return Value::Integer(block.OpenFile(path, mode == "append"));
       }},
      {"IBEC_FS_WRITELN",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 2, "ibec_fs_Writeln", line);
         Write(block, args, line, true);
         return Value::Null();
       }},
      {"IBEC_FS_WRITE",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 2, "ibec_fs_Write", line);
         Write(block, args, line, false);
         return Value::Null();
       }},
      {"IBEC_FS_CLOSEFILE",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 1, "ibec_fs_CloseFile", line);
         block.CloseFile(args[0], line);
         return Value::Null();
       }},
      {"IBEC_PROGRESS",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 1, "ibec_progress", line);
         block.Environment().progress(ValueText(args[0]));
         return Value::Null();
       }},
      {"IBEC_EXTRACTMETADATA",
       [](BlockInterpreter& block, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 3, "ibec_ExtractMetadata", line);
         if (args[0].kind != Value::Kind::kInteger || args[0].integer != kDefaultConnection) {
           BlockFailure(line,
                        "ibec_ExtractMetadata: the first argument must be the connection "
                        "that ibec_GetDefaultConnection() gives");
         }
         const std::string name = TextArg(args[1], "ibec_ExtractMetadata", line);
         ExportOptions options;
         std::string why;
         if (!ParseExportOptions(ValueText(args[2]), options, why)) {
           BlockFailure(line, "ibec_ExtractMetadata: " + why);
         }
         const std::string path = ScriptFilePath(block.Environment().folder, name);
         return Value::Integer(ExportTableData(block.Environment().database,
                                               block.Environment().files, path, options,
                                               block.Environment().progress));
       }},
      {"IBEC_TRIM",
       [](BlockInterpreter&, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 1, "ibec_Trim", line);
         if (args[0].IsNull()) return args[0];
         const std::string text = ValueText(args[0]);
         const size_t first = text.find_first_not_of(' ');
         if (first == std::string::npos) return Value::Text("");
         return Value::Text(text.substr(first, text.find_last_not_of(' ') - first + 1));
       }},
      {"IBEC_QUOTEIDENT",
       [](BlockInterpreter&, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 1, "ibec_QuoteIdent", line);
         return args[0].IsNull() ? args[0] : Value::Text(QuoteName(ValueText(args[0])));
       }},
      {"IBEC_QUOTESTRING",
       [](BlockInterpreter&, const std::vector<Value>& args, size_t line) {
         ExpectArgs(args, 1, "ibec_QuoteString", line);
         return args[0].IsNull() ? Value::Text("NULL")
                                 : Value::Text(QuoteString(ValueText(args[0])));
       }},
  };
  return functions;
}

}  // namespace

Value CallBuiltIn(BlockInterpreter& interpreter, const std::string& name,
                  const std::vector<Value>& args, size_t line) {
  const auto found = BuiltIns().find(name);
  if (found == BuiltIns().end()) BlockFailure(line, "unknown function " + name);
  return found->second(interpreter, args, line);
}

}  // namespace updater::scriptengine
