// Failures on demand: a file system, a process table and a service control
// manager that pass every call on to another implementation, except the
// calls a test has told them to fail. A rule picks calls by kind and path and
// fails the nth of them from now (and as many after it as it says), with a
// chosen SystemError:
//
//   fake.files.FailNth(FileCall::kCopyWholeFile, 3);               // the 3rd copy from now
//   fake.files.FailEvery(FileCall::kRemoveFile, temp.Path("Old"));  // every deletion below Old
//   fake.files.Inject(Fault(FileCall::kRename).Times(2).Error(held));  // held twice
//   fake.faulty_processes.FailNth(ProcessCall::kTerminate, 2);
//
// docs/testing.md describes their use.
#pragma once

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wrappers.h"

namespace updater::testing {

// What an injected failure reports unless the rule names its own error:
// Windows' "access denied" (5), marked as injected. The call's name and path
// are filled in from the call that failed.
platform::SystemError InjectedDenial();

// The calls of the file system that a rule can pick. The stream calls are
// those of the files OpenInputFile and OpenOutputFile return; their path is
// the one the file was opened with.
enum class FileCall {
  kAny,
  kFullPath,
  kListFolder,
  kGetAttributes,
  kSetAttributes,
  kRemoveFile,
  kRemoveFolder,
  kCreateFolder,
  kCopyWholeFile,  // about the source and the target
  kRename,         // about the old and the new name
  kExclusiveFileSize,
  kWriteFile,
  kAppendToFile,
  kFlushToDisk,
  kReadFile,
  kOpenInputFile,
  kOpenOutputFile,
  kStreamRead,   // InputFile::Read, ReadAt and Size
  kStreamWrite,  // OutputFile::Write
  kStreamClose,  // OutputFile::Close
  kIniSectionExists,
  kIniReadString,
  kIniWriteString,
};

// The calls of the process table; their path is the pid in decimal
// (Terminate) or the program's path (Start, WaitForExit).
enum class ProcessCall {
  kAny,
  kSnapshot,
  kTerminate,
  kSetDebugPrivilege,
  kOwnExecutablePath,
  kStart,
  kWaitForExit,
};

// The calls of the service control manager; their path is the machine
// (OpenManager) or the service's name as it was opened.
enum class ServiceCall {
  kAny,
  kOpenManager,
  kOpenService,
  kStart,
  kControl,
  kQueryStatus,
};

// Fault::times for a rule that never runs out.
inline constexpr int kEveryTime = INT_MAX;

// One rule: from the `nth` call from now (counting from 1) of kind `call`
// (kAny: of every kind) about `path` or anything below it (empty: about
// anything), `times` such calls in a row fail with `error`. Written as
// Fault(FileCall::kRename).Nth(2).Times(3).Path(folder).Error(held).
template <typename Call>
struct Fault {
  explicit Fault(Call kind = Call::kAny) : call(kind) {}
  Fault& Path(std::string about) {
    path = std::move(about);
    return *this;
  }
  Fault& Nth(int first) {
    nth = first;
    return *this;
  }
  Fault& Times(int count) {
    times = count;
    return *this;
  }
  Fault& Error(platform::SystemError failure) {
    error = std::move(failure);
    return *this;
  }

  Call call;
  std::string path;
  int nth = 1;
  int times = 1;
  platform::SystemError error = InjectedDenial();
};

// The rules of one faulty area and the count of calls they have seen. The
// counter of a rule starts when the rule is given, as SQLite's fault counter
// does.
template <typename Call>
class FaultPlan {
 public:
  void Inject(Fault<Call> fault) { rules_.push_back(Rule{std::move(fault), 0}); }
  // Forgets every rule; the counts stay.
  void Heal() { rules_.clear(); }

  // Counts one call of kind `call`, named `name`, about `paths`, and returns
  // the error it must fail with, if a rule says so.
  std::optional<platform::SystemError> Check(Call call, const char* name,
                                             std::initializer_list<std::string_view> paths);

  // Calls of kind `call` made so far (kAny: of every kind), failed ones
  // included.
  int Calls(Call call) const;
  // Failures injected so far.
  int Injected() const { return injected_; }

 private:
  struct Rule {
    Fault<Call> fault;
    int matched;
  };
  std::vector<Rule> rules_;
  std::vector<Call> calls_;
  int injected_ = 0;
};

// The rule-giving calls that every faulty area offers.
template <typename Call>
class Faulty {
 public:
  // A rule of any shape (see Fault).
  void Inject(Fault<Call> fault) { plan_.Inject(std::move(fault)); }
  // The `nth` call of `call` from now fails with access denied.
  void FailNth(Call call, int nth) { plan_.Inject(Fault<Call>(call).Nth(nth)); }
  // Every call of `call` about `path` or below it (empty: every call of that
  // kind) fails with access denied.
  void FailEvery(Call call, const std::string& path = {}) {
    plan_.Inject(Fault<Call>(call).Path(path).Times(kEveryTime));
  }
  void Heal() { plan_.Heal(); }
  int Calls(Call call) const { return plan_.Calls(call); }
  int Injected() const { return plan_.Injected(); }

 protected:
  FaultPlan<Call> plan_;
};

class FaultyFileSystem final : public platform::FileSystemWrapper, public Faulty<FileCall> {
 public:
  explicit FaultyFileSystem(platform::FileSystem& target) : FileSystemWrapper(target) {}

  platform::Result<std::string> FullPath(const std::string& path) override;
  platform::Result<std::vector<platform::FolderEntry>> ListFolder(
      const std::string& folder) override;
  platform::Result<uint32_t> GetAttributes(const std::string& path) override;
  platform::Status SetAttributes(const std::string& path, uint32_t attributes) override;
  platform::Status RemoveFile(const std::string& path) override;
  platform::Status RemoveFolder(const std::string& path) override;
  platform::Status CreateFolder(const std::string& path) override;
  platform::Status CopyWholeFile(const std::string& source, const std::string& target) override;
  platform::Status Rename(const std::string& from, const std::string& to) override;
  platform::Result<uint64_t> ExclusiveFileSize(const std::string& path) override;
  platform::Status WriteFile(const std::string& path, const std::string& bytes) override;
  platform::Status AppendToFile(const std::string& path, const std::string& bytes) override;
  platform::Status FlushToDisk(const std::string& path) override;
  platform::Result<std::string> ReadFile(const std::string& path) override;
  platform::Result<std::unique_ptr<platform::InputFile>> OpenInputFile(
      const std::string& path) override;
  platform::Result<std::unique_ptr<platform::OutputFile>> OpenOutputFile(const std::string& path,
                                                                         bool append) override;
  platform::Result<bool> IniSectionExists(const std::string& path,
                                          const std::string& section) override;
  platform::Result<std::optional<std::string>> IniReadString(const std::string& path,
                                                             const std::string& section,
                                                             const std::string& key) override;
  platform::Status IniWriteString(const std::string& path, const std::string& section,
                                  const std::string& key, const std::string& value) override;

  // For the streams this file system opened.
  std::optional<platform::SystemError> CheckStream(FileCall call, const char* name,
                                                   const std::string& path) {
    return plan_.Check(call, name, {path});
  }
};

class FaultyProcesses final : public platform::ProcessesWrapper, public Faulty<ProcessCall> {
 public:
  explicit FaultyProcesses(platform::Processes& target) : ProcessesWrapper(target) {}

  platform::Result<std::vector<platform::ProcessEntry>> Snapshot() override;
  platform::Status Terminate(uint32_t pid, uint32_t exit_code) override;
  platform::Status SetDebugPrivilege(bool enable) override;
  platform::Result<std::string> OwnExecutablePath() override;
  platform::Result<std::unique_ptr<platform::ChildProcess>> Start(
      const platform::ProcessLaunch& launch) override;

  // For the children this table started.
  std::optional<platform::SystemError> CheckChild(const std::string& application) {
    return plan_.Check(ProcessCall::kWaitForExit, "WaitForSingleObject", {application});
  }
};

class FaultyServiceControl final : public platform::ServiceControlWrapper,
                                   public Faulty<ServiceCall> {
 public:
  explicit FaultyServiceControl(platform::ServiceControl& target) : ServiceControlWrapper(target) {}

  platform::Result<std::unique_ptr<platform::ServiceManager>> OpenManager(
      const std::string& machine, uint32_t access) override;

  // For the managers and services this control opened.
  std::optional<platform::SystemError> CheckCall(ServiceCall call, const char* name,
                                                 const std::string& path) {
    return plan_.Check(call, name, {path});
  }
};

}  // namespace updater::testing
