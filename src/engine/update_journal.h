// The journal of an update run: a small text file in the run's working
// folder Tmp$<stamp> that says how far the run got, kept on the disk at each
// phase boundary so that a run cut short by a crash, a kill or a power loss
// can be found and rolled back at the next start.
//
// The file is "Update.journal", lines of key=value ending in CR LF, closed by
// the line "end":
//
//   Updater_Marlix update journal
//   stamp=101226204941        the run's TimeStamp
//   folder=C:\WEXR\Marlix     the product folder (ProgramPath)
//   client=1                  HasClientPart
//   server=1                  HasServerPart
//   database=C:\...\MARLIX.FDB the database file as the run reached it
//   backup=C:\...\Old         the backup folder (OldDir)
//   backup_complete=1         the backup holds both parts whole
//   phase=database            the phase last entered
//   finished=0                the run has ended
//   end
//
// When the run ends the journal is removed (or, failing that, marked
// finished). A new state is written to "Update.journal.new", flushed to the disk,
// and only then moved into place (the old file removed, the new renamed,
// the folder flushed). A power loss therefore leaves a whole journal: the
// old one, or the new one under either name.
#pragma once

#include <optional>
#include <string>

#include "platform/files.h"

namespace updater {

// The phases the journal names, in the order a run enters them.
enum class JournalPhase {
  kStaging,     // working folders made, payload unpacked
  kBackup,      // the installed parts copied into the backup
  kDatabase,    // the database rebuilt (the old file deleted on the way)
  kServerPart,  // metadata, privileges and server library of the new version
  kClientPart,  // the new program and its help file
  kRollback,    // both parts being put back from the backup
};

struct JournalRecord {
  std::string TimeStamp;
  std::string ProgramPath;
  bool HasClientPart = false;
  bool HasServerPart = false;
  std::string DatabasePath;
  std::string BackupDir;
  bool BackupComplete = false;
  JournalPhase Phase = JournalPhase::kStaging;
  bool Finished = false;
};

// The journal's file name inside a working folder.
inline constexpr char kJournalFileName[] = "Update.journal";

// The journal's text for `record`.
std::string JournalText(const JournalRecord& record);

// What reading a journal gave: the record, or why there is none.
struct JournalReading {
  std::optional<JournalRecord> record;  // set when the journal was read whole
  bool found = false;                   // a journal file exists
  std::string error;                    // found but unreadable: what is wrong
  // Only the temporary twin is there, and it is unreadable: the run's first
  // journal never reached the disk whole (every later one is flushed under
  // the temporary name while the previous one still stands), so the run
  // stopped before its backup began.
  bool first_write_cut = false;
};

// The record in `text`, or the error: a text that does not end with the
// line "end", lacks a key or holds an unknown value is not read.
JournalReading ParseJournal(const std::string& text);

// Writes `record` as the journal of the working folder `tmp_dir` and
// flushes it, its temporary twin and the folder to the disk. On failure
// the previous journal is still there under one of the two names.
platform::Status WriteJournal(platform::FileSystem& files, const std::string& tmp_dir,
                              const JournalRecord& record);

// The journal of the working folder `tmp_dir`: "Update.journal", or when
// that is missing its twin "Update.journal.new" (a power loss between the
// two steps of moving it into place). `found` is false when neither exists.
// An unreadable twin alone sets `first_write_cut` beside the error.
JournalReading ReadJournal(platform::FileSystem& files, const std::string& tmp_dir);

// The run's time stamp "ddmmyyhhnnss" as the operator reads it:
// "dd.mm.yy hh:nn:ss"; any other text unchanged.
std::string StampText(const std::string& stamp);

}  // namespace updater
