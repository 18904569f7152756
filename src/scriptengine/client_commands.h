// The engine's own commands, carried out by the engine instead of being
// sent to the server: SET TERM, SET AUTODDL, SET SQL DIALECT, SET NAMES,
// SET BLOBFILE, COMMIT, ROLLBACK, RECONNECT, blocks (EXECUTE IBEBLOCK), and
// the display settings of isql that a script may carry and that mean
// nothing here.
#pragma once

#include <string>
#include <string_view>

namespace updater::scriptengine {

struct ClientCommand {
  enum class Kind {
    kSql,       // not a command of the engine: the server runs it
    kSetTerm,   // argument: the new terminator
    kAutoDdl,   // flag
    kDialect,   // number
    kNames,     // argument: the character set
    kBlobFile,  // argument: the file name
    kCommit,
    kRollback,
    kReconnect,
    kBlock,    // EXECUTE IBEBLOCK
    kIgnored,  // an isql display setting (SET ECHO, SET LIST, ...)
    kInvalid,  // a command of the engine written wrongly; argument: why
  };
  Kind kind = Kind::kSql;
  std::string argument;
  bool flag = false;
  int number = 0;
};

// What `statement` (terminator removed) is.
ClientCommand RecogniseCommand(std::string_view statement);

}  // namespace updater::scriptengine
