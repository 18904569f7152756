// The journal of an update run as a power loss can leave it: whole, cut
// short at any byte, under its temporary name, or with values that make no
// sense. What cannot be read whole is reported, never filled in.
#include "engine/update_journal.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/fake_platform.h"
#include "support/temp_folder.h"

namespace updater {
namespace {

using testing::FileCall;
using testing::WriteBytes;

JournalRecord SampleRecord() {
  JournalRecord r;
  r.TimeStamp = "101226204941";
  r.ProgramPath = "C:\\WEXR\\Marlix";
  r.HasClientPart = true;
  r.HasServerPart = true;
  r.DatabasePath = "C:\\WEXR\\Marlix\\DB_Data\\MARLIX.FDB";
  r.BackupDir = "C:\\WEXR\\Marlix\\Tmp$101226204941\\Old";
  r.BackupComplete = true;
  r.Phase = JournalPhase::kClientPart;
  return r;
}

void ExpectSame(const JournalRecord& a, const JournalRecord& b) {
  EXPECT_EQ(JournalText(a), JournalText(b));
  EXPECT_EQ(a.TimeStamp, b.TimeStamp);
  EXPECT_EQ(a.DatabasePath, b.DatabasePath);
  EXPECT_EQ(a.Phase, b.Phase);
  EXPECT_EQ(a.BackupComplete, b.BackupComplete);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(UpdateJournalTest, EveryPhaseAndFlagReadsBackAsWritten) {
  for (JournalPhase phase :
       {JournalPhase::kStaging, JournalPhase::kBackup, JournalPhase::kDatabase,
        JournalPhase::kServerPart, JournalPhase::kClientPart, JournalPhase::kRollback}) {
    JournalRecord record = SampleRecord();
    record.Phase = phase;
    record.HasClientPart = phase != JournalPhase::kBackup;
    record.Finished = phase == JournalPhase::kRollback;
    const JournalReading reading = ParseJournal(JournalText(record));
    ASSERT_TRUE(reading.record) << reading.error;
    ExpectSame(*reading.record, record);
    EXPECT_EQ(reading.record->HasClientPart, record.HasClientPart);
    EXPECT_EQ(reading.record->Finished, record.Finished);
  }
}

TEST(UpdateJournalTest, AJournalCutAtAnyByteIsReportedNotRead) {
  const std::string whole = JournalText(SampleRecord());
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    const JournalReading reading = ParseJournal(whole.substr(0, length));
    EXPECT_FALSE(reading.record);
    EXPECT_TRUE(reading.found);
    EXPECT_FALSE(reading.error.empty());
  }
  EXPECT_EQ(ParseJournal("").error, "файл журнала пуст");
}

TEST(UpdateJournalTest, AJournalWithAValueThatMakesNoSenseIsReported) {
  const std::string whole = JournalText(SampleRecord());
  const struct {
    const char* name;
    std::string text;
    std::string error;
  } cases[] = {
      {"unknown phase", Replaced(whole, "phase=client", "phase=unpacking"),
       "в журнале нет нужных значений"},
      {"flag not 0 or 1", Replaced(whole, "backup_complete=1", "backup_complete=yes"),
       "в журнале нет нужных значений"},
      {"key missing", Replaced(whole, "finished=0\r\n", ""), "в журнале нет нужных значений"},
      {"line without a value", Replaced(whole, "finished=0", "finished"),
       "строка журнала без значения: finished"},
      {"another file's header", Replaced(whole, "Updater_Marlix", "Other"),
       "файл журнала поврежден или записан не полностью"},
      {"lines ending in LF only", Replaced(Replaced(whole, "\r\nend", "\nend"), "stamp", "x"),
       "файл журнала поврежден или записан не полностью"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const JournalReading reading = ParseJournal(c.text);
    EXPECT_FALSE(reading.record);
    EXPECT_EQ(reading.error, c.error);
  }
}

class UpdateJournalFilesTest : public ::testing::Test {
 protected:
  std::string Journal() const { return platform::JoinPath(temp.path(), kJournalFileName); }
  std::string Twin() const { return Journal() + ".new"; }
  JournalReading Read() { return ReadJournal(fake.files, temp.path()); }

  testing::TempFolder temp;
  testing::FakePlatform fake;
};

TEST_F(UpdateJournalFilesTest, WhatThePowerLossLeftIsReadOrReported) {
  const std::string whole = JournalText(SampleRecord());
  const std::string cut = whole.substr(0, whole.size() / 2);
  const struct {
    const char* name;
    const char* journal;  // nullptr: no such file
    const char* twin;
    bool record, found, first_write_cut;
  } cases[] = {
      {"none", nullptr, nullptr, false, false, false},
      {"journal", whole.c_str(), nullptr, true, true, false},
      // Moved into place halfway: the old one removed, the new one not yet renamed.
      {"only the twin", nullptr, whole.c_str(), true, true, false},
      // Cut while the next state was written: the previous one stands.
      {"journal and a cut twin", whole.c_str(), cut.c_str(), true, true, false},
      {"cut journal", cut.c_str(), nullptr, false, true, false},
      {"empty journal", "", nullptr, false, true, false},
      // The first write itself was cut: the run never reached its backup.
      {"only a cut twin", nullptr, cut.c_str(), false, true, true},
      {"only an empty twin", nullptr, "", false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(testing::FsPath(Journal()));
    std::filesystem::remove(testing::FsPath(Twin()));
    if (c.journal) WriteBytes(Journal(), c.journal);
    if (c.twin) WriteBytes(Twin(), c.twin);
    const JournalReading reading = Read();
    EXPECT_EQ(reading.record.has_value(), c.record) << reading.error;
    EXPECT_EQ(reading.found, c.found);
    EXPECT_EQ(reading.first_write_cut, c.first_write_cut);
    if (reading.record) ExpectSame(*reading.record, SampleRecord());
  }
}

TEST_F(UpdateJournalFilesTest, AWriteThatFailsAtAnyStepLeavesAWholeJournal) {
  JournalRecord before = SampleRecord();
  before.Phase = JournalPhase::kDatabase;
  const JournalRecord after = SampleRecord();
  const struct {
    FileCall call;
    int nth;
  } cases[] = {{FileCall::kWriteFile, 1},
               {FileCall::kFlushToDisk, 1},
               {FileCall::kRemoveFile, 1},
               {FileCall::kRename, 1},
               {FileCall::kFlushToDisk, 2}};  // 2nd: the folder's
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.call) * 10 + c.nth);
    ASSERT_TRUE(WriteJournal(fake.files, temp.path(), before));
    fake.files.FailNth(c.call, c.nth);
    EXPECT_FALSE(WriteJournal(fake.files, temp.path(), after));
    fake.files.Heal();
    const JournalReading reading = Read();
    ASSERT_TRUE(reading.record) << reading.error;
    // The old state, or the new one when only its last steps failed.
    const std::string text = JournalText(*reading.record);
    EXPECT_TRUE(text == JournalText(before) || text == JournalText(after)) << text;
  }
}

TEST(UpdateJournalTest, TheStampReadsAsADateAndTime) {
  EXPECT_EQ(StampText("101226204941"), "10.12.26 20:49:41");
  EXPECT_EQ(StampText("10122620494"), "10122620494");
}

}  // namespace
}  // namespace updater
