#include "scriptengine/client_commands.h"

#include <array>
#include <vector>

#include "platform/strings.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

using platform::AsciiUpper;
using platform::Trim;

namespace {

using Kind = ClientCommand::Kind;

// A setting of isql's, which may be shortened down to its first `shortest`
// letters ("SET AUTO" for "SET AUTODDL").
struct Keyword {
  std::string_view name;
  size_t shortest;
  Kind kind;
};

// isql's settings and what each is to the engine (kInvalid: refused).
constexpr std::array<Keyword, 22> kSettings = {{
    {"AUTODDL", 4, Kind::kAutoDdl},
    {"BAIL", 4, Kind::kBail},
    {"BLOBDISPLAY", 4, Kind::kIgnored},
    {"BULK_INSERT", 11, Kind::kInvalid},
    {"COUNT", 5, Kind::kIgnored},
    {"ECHO", 4, Kind::kIgnored},
    {"EXPLAIN", 7, Kind::kIgnored},
    {"HEADING", 7, Kind::kIgnored},
    {"KEEP_TRAN_PARAMS", 9, Kind::kInvalid},
    {"LIST", 4, Kind::kIgnored},
    {"MAXROWS", 7, Kind::kIgnored},
    {"NAMES", 5, Kind::kNames},
    {"PLAN", 4, Kind::kIgnored},
    {"PLANONLY", 8, Kind::kPlanOnly},
    {"ROWCOUNT", 8, Kind::kIgnored},
    {"SQLDA_DISPLAY", 13, Kind::kIgnored},
    {"STATS", 4, Kind::kIgnored},
    {"TERMINATOR", 4, Kind::kSetTerm},
    {"TIME", 4, Kind::kIgnored},
    {"WARNINGS", 7, Kind::kIgnored},
    {"WNG", 3, Kind::kIgnored},
    {"WIDTH", 5, Kind::kIgnored},
}};

// isql's own commands that the engine does not carry out, and why.
struct Refusal {
  std::string_view name;
  size_t shortest;
  std::string_view why;
};
constexpr std::array<Refusal, 9> kRefusedCommands = {{
    {"BLOBDUMP", 8, ""},
    {"BLOBVIEW", 8, ""},
    {"CONNECT", 7, "the engine works on the database of its connect string"},
    {"EDIT", 4, ""},
    {"HELP", 4, ""},
    {"INPUT", 2, "run each script by itself"},
    {"OUTPUT", 3, "the engine shows no query results"},
    {"SHELL", 5, ""},
    {"SHOW", 4, ""},
}};

// Whether `token` is the word `name`, or its start down to `shortest` letters.
bool Matches(const Token& token, std::string_view name, size_t shortest) {
  if (token.kind != TokenKind::kWord) return false;
  const std::string word = AsciiUpper(token.text);
  return word.size() >= shortest && word.size() <= name.size() &&
         name.substr(0, word.size()) == word;
}

ClientCommand Of(Kind kind) {
  ClientCommand command;
  command.kind = kind;
  return command;
}

ClientCommand Invalid(std::string why) {
  ClientCommand command = Of(Kind::kInvalid);
  command.argument = std::move(why);
  return command;
}

ClientCommand Refused(std::string_view command, std::string_view why) {
  return Invalid("the script engine does not carry out isql's " + std::string(command) +
                 " command" + (why.empty() ? "" : ": " + std::string(why)));
}

// SET <name> alone (a toggle, as in isql), SET <name> ON or SET <name> OFF.
ClientCommand Switch(Kind kind, std::string_view name, const std::vector<Token>& t) {
  ClientCommand command = Of(kind);
  if (t.size() == 2) {
    command.toggle = true;
  } else if (t.size() == 3 && (t[2].Is("ON") || t[2].Is("OFF"))) {
    command.flag = t[2].Is("ON");
  } else {
    return Invalid("SET " + std::string(name) + " takes ON or OFF");
  }
  return command;
}

ClientCommand Setting(std::string_view statement, const std::vector<Token>& t) {
  if (t.size() == 1) return Of(Kind::kIgnored);  // SET alone shows the settings
  const Token& what = t[1];
  const size_t n = t.size();
  if (what.Is("BLOBFILE")) {
    if (n == 3 && t[2].kind == TokenKind::kString && !t[2].Value().empty()) {
      ClientCommand command = Of(Kind::kBlobFile);
      command.argument = t[2].Value();
      return command;
    }
    return Invalid("SET BLOBFILE takes the file name as a string literal");
  }
  if (what.Is("SQL") && n >= 3 && t[2].Is("DIALECT")) {
    if (n == 4 && (t[3].text == "1" || t[3].text == "2" || t[3].text == "3")) {
      ClientCommand command = Of(Kind::kDialect);
      command.number = t[3].text[0] - '0';
      return command;
    }
    return Invalid("SET SQL DIALECT takes 1, 2 or 3");
  }
  if (what.Is("TIME") && n >= 3 && t[2].Is("ZONE")) return Of(Kind::kSql);  // the server's
  if (what.Is("DATA")) {
    if (n == 3 && (t[2].Is("BEGIN") || t[2].Is("END"))) {
      return Of(t[2].Is("BEGIN") ? Kind::kDataBegin : Kind::kDataEnd);
    }
    if (n >= 3 && t[2].Is("CHECK")) {
      if (n == 4 && t[3].kind == TokenKind::kString && !t[3].Value().empty()) {
        ClientCommand command = Of(Kind::kDataCheck);
        command.argument = t[3].Value();
        return command;
      }
      return Invalid("SET DATA CHECK takes the manifest's file name as a string literal");
    }
    return Invalid("SET DATA takes BEGIN, END or CHECK");
  }
  for (const Keyword& setting : kSettings) {
    if (!Matches(what, setting.name, setting.shortest)) continue;
    switch (setting.kind) {
      case Kind::kAutoDdl:
      case Kind::kBail:
      case Kind::kPlanOnly:
        return Switch(setting.kind, setting.name, t);
      case Kind::kSetTerm: {
        // The new terminator is whatever follows, as written; none at all
        // (SET TERM typed with the terminator of the moment, "SET TERM ^;"
        // while "^" is in force) is a return to ";", as isql takes it.
        const std::string terminator = Trim(statement.substr(what.offset + what.text.size()));
        if (terminator.find_first_of(" \t\r\n'\"") != std::string::npos) {
          return Invalid("the terminator \"" + terminator + "\" may hold no blanks or quotes");
        }
        ClientCommand command = Of(Kind::kSetTerm);
        command.argument = terminator.empty() ? ";" : terminator;
        return command;
      }
      case Kind::kNames:
        if (n == 3 && (t[2].kind == TokenKind::kWord || t[2].kind == TokenKind::kString)) {
          ClientCommand command = Of(Kind::kNames);
          command.argument = AsciiUpper(t[2].kind == TokenKind::kWord ? t[2].text : t[2].Value());
          return command;
        }
        return Invalid("SET NAMES takes the name of a character set");
      case Kind::kIgnored:
        return Of(Kind::kIgnored);
      default:
        break;
    }
    if (setting.name == "KEEP_TRAN_PARAMS") {
      // After a commit the next transaction is always the default one:
      // OFF is how the engine works, ON it cannot do.
      if (n == 3 && t[2].Is("OFF")) return Of(Kind::kIgnored);
      return Refused("SET KEEP_TRAN_PARAMS ON",
                     "after COMMIT the engine always starts its default transaction");
    }
    return Refused("SET " + std::string(setting.name), "");
  }
  return Of(Kind::kSql);  // SET GENERATOR, SET STATISTICS, SET TRANSACTION ...
}

}  // namespace

ClientCommand RecogniseCommand(std::string_view statement) {
  // A command is told by its first words and their count, which is never
  // compared with more than four: five tokens tell "four" from "more".
  const TokenizeResult scanned = Tokenize(statement, 5);
  const std::vector<Token>& t = scanned.tokens;
  if (t.empty()) return Of(Kind::kSql);
  const size_t n = t.size();

  if (t[0].Is("SET")) return Setting(statement, t);
  if (t[0].Is("COMMIT") || t[0].Is("ROLLBACK")) {
    if (n == 1 || (n == 2 && t[1].Is("WORK"))) {
      return Of(t[0].Is("COMMIT") ? Kind::kCommit : Kind::kRollback);
    }
    return Of(Kind::kSql);  // COMMIT RETAIN, ROLLBACK TO SAVEPOINT ...
  }
  if (t[0].Is("RECONNECT") || t[0].Is("EXIT") || t[0].Is("QUIT")) {
    const std::string word = AsciiUpper(t[0].text);
    if (n > 1) return Invalid(word + " takes no arguments");
    return Of(word == "RECONNECT" ? Kind::kReconnect : word == "EXIT" ? Kind::kExit : Kind::kQuit);
  }
  if (n >= 2 && t[0].Is("EXECUTE") && t[1].Is("IBEBLOCK")) return Of(Kind::kBlock);
  if (n >= 2 && (t[0].Is("CREATE") || t[0].Is("DROP")) &&
      (t[1].Is("DATABASE") || t[1].Is("SCHEMA"))) {
    return Refused(AsciiUpper(t[0].text) + " DATABASE",
                   "the engine works on the database of its connect string");
  }
  for (const Refusal& refusal : kRefusedCommands) {
    if (!Matches(t[0], refusal.name, refusal.shortest)) continue;
    if (refusal.name == "OUTPUT" && n == 1) return Of(Kind::kIgnored);  // back to the screen
    return Refused(refusal.name, refusal.why);
  }
  return Of(Kind::kSql);
}

}  // namespace updater::scriptengine
