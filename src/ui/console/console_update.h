// The terminal front end's update command: the window's Start command for an
// operator without a window, with what a terminal adds to it: signs of life
// while a long step runs quietly, and the time each phase took.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "engine/uUpdate.h"
#include "platform/clock.h"

namespace updater::console {

// The platform's clock, counting the time spent in the fixed pauses of the
// run (15 seconds after a service stop, 2 seconds after a database
// shutdown), apart from the polling waits.
class PauseCountingClock final : public platform::Clock {
 public:
  explicit PauseCountingClock(platform::Clock& clock) : clock_(clock) {}
  platform::LocalTime Now() override { return clock_.Now(); }
  uint64_t MonotonicMs() override { return clock_.MonotonicMs(); }
  void Sleep(uint32_t milliseconds) override;
  std::string ShortDate(const platform::LocalTime& time) override { return clock_.ShortDate(time); }
  std::string LongTime(const platform::LocalTime& time) override { return clock_.LongTime(time); }

  uint64_t PausedMs() const { return paused_ms_; }

 private:
  platform::Clock& clock_;
  uint64_t paused_ms_ = 0;
};

// The time of each phase of a run, as the phases ran.
struct PhaseTime {
  std::string name;     // the phase's name for the operator
  uint64_t elapsed_ms;  // wall time of the phase
  uint64_t paused_ms;   // of which in fixed pauses
};

// The product's phases, each timed on `clock`.
class TimedPhases final : public UpdatePhases {
 public:
  TimedPhases(UpdatePhases& phases, PauseCountingClock& clock) : phases_(phases), clock_(clock) {}

  void PrepareServer(UpdateRun& run) override;
  void StageAndBackup(UpdateRun& run) override;
  void RebuildDatabase(UpdateRun& run) override;
  void UpdateServerPart(UpdateRun& run) override;
  void UpdateClientPart(UpdateRun& run) override;
  void RollBack(UpdateRun& run, const std::string& failure_message) override;
  void RemovePayloadFolder(UpdateRun& run) override;
  bool BringDatabaseOnlineAtEnd(UpdateRun& run) override;

  const std::vector<PhaseTime>& times() const { return times_; }

 private:
  template <typename Phase>
  auto Timed(const char* name, Phase phase);

  UpdatePhases& phases_;
  PauseCountingClock& clock_;
  std::vector<PhaseTime> times_;
};

// The phase times as the update command prints them after the outcome: a
// heading, one line per phase and the total, in seconds with a decimal
// comma, each with the fixed pauses it holds.
std::string PhaseTimesText(const std::vector<PhaseTime>& times);

// The update command, as the window's Start command runs it: the caption
// "Идет обновление...", the run with the product's phases, then the outcome
// in the caption area (and the success entry in the log), then the time of
// each phase on `out`. Raises what the window hands to its failure
// handler: SilentAbort when the operator declined, UpdateFailure with the
// run's message (empty when the run has reported everything itself).
void UpdateCommand(const UpdateRequest& request, const ProjectProfile& profile,
                   const TFBServParams& server_params, platform::Platform& platform,
                   FrontEnd& front, std::ostream& out);

// The recovery of an interrupted update run alone (RecoverInterruptedUpdates
// with the product's phases): the same question as at the start of an
// update, the same restore. Logs "Прерванных обновлений в каталоге "<folder>"
// не обнаружено." when there is nothing to recover. Raises as UpdateCommand.
void RecoverCommand(const UpdateRequest& request, const ProjectProfile& profile,
                    const TFBServParams& server_params, platform::Platform& platform,
                    FrontEnd& front);

}  // namespace updater::console
