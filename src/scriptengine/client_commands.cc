#include "scriptengine/client_commands.h"

#include <array>

#include "platform/strings.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

using platform::AsciiUpper;
using platform::Trim;

namespace {

constexpr std::array<std::string_view, 12> kIgnoredSettings = {
    "ECHO", "LIST", "STATS", "COUNT",       "HEADING", "WARNINGS",
    "WNG",  "PLAN", "TIME",  "BLOBDISPLAY", "WIDTH",   "ROWCOUNT"};

ClientCommand Invalid(std::string why) {
  ClientCommand command;
  command.kind = ClientCommand::Kind::kInvalid;
  command.argument = std::move(why);
  return command;
}

ClientCommand Of(ClientCommand::Kind kind) {
  ClientCommand command;
  command.kind = kind;
  return command;
}

}  // namespace

ClientCommand RecogniseCommand(std::string_view statement) {
  const TokenizeResult scanned = Tokenize(statement);
  const std::vector<Token>& t = scanned.tokens;
  if (t.empty()) return Of(ClientCommand::Kind::kSql);
  const size_t n = t.size();

  if (t[0].Is("COMMIT") || t[0].Is("ROLLBACK")) {
    if (n == 1 || (n == 2 && t[1].Is("WORK"))) {
      return Of(t[0].Is("COMMIT") ? ClientCommand::Kind::kCommit : ClientCommand::Kind::kRollback);
    }
    return Of(ClientCommand::Kind::kSql);  // COMMIT RETAIN, ROLLBACK TO SAVEPOINT ...
  }
  if (t[0].Is("RECONNECT")) {
    return n == 1 ? Of(ClientCommand::Kind::kReconnect) : Invalid("RECONNECT takes no arguments");
  }
  if (n >= 2 && t[0].Is("EXECUTE") && t[1].Is("IBEBLOCK")) return Of(ClientCommand::Kind::kBlock);
  if (!t[0].Is("SET") || n < 2) return Of(ClientCommand::Kind::kSql);

  const Token& what = t[1];
  if (what.Is("TERM") || what.Is("TERMINATOR")) {
    // The new terminator is whatever follows, as written.
    const size_t start = what.offset + what.text.size();
    const std::string terminator = Trim(statement.substr(start));
    if (terminator.empty()) return Invalid("SET TERM needs the new terminator");
    if (terminator.find_first_of(" \t\r\n'\"") != std::string::npos) {
      return Invalid("the terminator \"" + terminator + "\" may hold no blanks or quotes");
    }
    ClientCommand command = Of(ClientCommand::Kind::kSetTerm);
    command.argument = terminator;
    return command;
  }
  if (what.Is("AUTODDL")) {
    if (n == 3 && (t[2].Is("ON") || t[2].Is("OFF"))) {
      ClientCommand command = Of(ClientCommand::Kind::kAutoDdl);
      command.flag = t[2].Is("ON");
      return command;
    }
    if (n == 2) {  // isql: SET AUTODDL alone switches it on
      ClientCommand command = Of(ClientCommand::Kind::kAutoDdl);
      command.flag = true;
      return command;
    }
    return Invalid("SET AUTODDL takes ON or OFF");
  }
  if (what.Is("SQL") && n >= 3 && t[2].Is("DIALECT")) {
    if (n == 4 && (t[3].text == "1" || t[3].text == "2" || t[3].text == "3")) {
      ClientCommand command = Of(ClientCommand::Kind::kDialect);
      command.number = t[3].text[0] - '0';
      return command;
    }
    return Invalid("SET SQL DIALECT takes 1, 2 or 3");
  }
  if (what.Is("NAMES")) {
    if (n == 3 && (t[2].kind == TokenKind::kWord || t[2].kind == TokenKind::kString)) {
      ClientCommand command = Of(ClientCommand::Kind::kNames);
      command.argument = AsciiUpper(t[2].kind == TokenKind::kWord ? t[2].text : t[2].Value());
      return command;
    }
    return Invalid("SET NAMES takes the name of a character set");
  }
  if (what.Is("BLOBFILE")) {
    if (n == 3 && t[2].kind == TokenKind::kString && !t[2].Value().empty()) {
      ClientCommand command = Of(ClientCommand::Kind::kBlobFile);
      command.argument = t[2].Value();
      return command;
    }
    return Invalid("SET BLOBFILE takes the file name as a string literal");
  }
  for (std::string_view setting : kIgnoredSettings) {
    if (what.Is(setting)) return Of(ClientCommand::Kind::kIgnored);
  }
  return Of(ClientCommand::Kind::kSql);  // SET GENERATOR, SET STATISTICS, SET TRANSACTION ...
}

}  // namespace updater::scriptengine
