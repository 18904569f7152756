// The engine's own commands, carried out by the engine instead of being
// sent to the server: SET TERM, SET AUTODDL, SET SQL DIALECT, SET NAMES,
// SET BLOBFILE, SET DATA, COMMIT, ROLLBACK, RECONNECT, blocks (EXECUTE IBEBLOCK), and
// isql's commands and settings as isql spells them (its short forms
// included): those that change what a script does are carried out, its
// display settings are accepted and mean nothing here, and the commands
// the engine cannot carry out are refused with a reason.
#pragma once

#include <string>
#include <string_view>

namespace updater::scriptengine {

struct ClientCommand {
  enum class Kind {
    kSql,       // not a command of the engine: the server runs it
    kSetTerm,   // argument: the new terminator (";" when none is given)
    kAutoDdl,   // switch
    kBail,      // switch: stop at the first failure
    kPlanOnly,  // switch: prepare statements without running them
    kDialect,   // number
    kNames,     // argument: the character set
    kBlobFile,  // argument: the file name
    // The bounds of a data script's data: a script that says SET DATA
    // BEGIN and ends without SET DATA END was cut short, and fails.
    kDataBegin,
    kDataEnd,
    kCommit,
    kRollback,
    kReconnect,
    kExit,     // commit and end the script
    kQuit,     // roll back and end the script
    kBlock,    // EXECUTE IBEBLOCK
    kIgnored,  // an isql display setting (SET ECHO, SET LIST, ...)
    kInvalid,  // written wrongly, or not carried out by the engine; argument: why
  };
  Kind kind = Kind::kSql;
  std::string argument;
  // Switches: on or off, or, when `toggle` is set, the other way round
  // from now (isql's SET AUTODDL without ON or OFF).
  bool flag = false;
  bool toggle = false;
  int number = 0;
};

// What `statement` (terminator removed) is.
ClientCommand RecogniseCommand(std::string_view statement);

}  // namespace updater::scriptengine
