#include "ui/console/console_update.h"

#include <cstdio>

#include "common/failures.h"
#include "firebird/uFbService.h"
#include "firebird/uIBEScript.h"

namespace updater::console {
namespace {

// Seconds with one decimal after a comma: 48213 ms gives "48,2".
std::string Seconds(uint64_t ms) {
  const uint64_t tenths = (ms + 50) / 100;
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

}  // namespace

void PauseCountingClock::Sleep(uint32_t milliseconds) {
  if (milliseconds == kSettleAfterStopMs || milliseconds == kShutdownSettleMs) {
    paused_ms_ += milliseconds;
  }
  clock_.Sleep(milliseconds);
}

template <typename Phase>
auto TimedPhases::Timed(const char* name, Phase phase) {
  const uint64_t started = clock_.MonotonicMs();
  const uint64_t paused = clock_.PausedMs();
  // Recorded however the phase ends: a failed phase took its time too.
  struct Record {
    TimedPhases& self;
    const char* name;
    uint64_t started, paused;
    ~Record() {
      self.times_.push_back(
          PhaseTime{name, self.clock_.MonotonicMs() - started, self.clock_.PausedMs() - paused});
    }
  } record{*this, name, started, paused};
  return phase();
}

void TimedPhases::PrepareServer(UpdateRun& run) {
  Timed("Подготовка сервера", [&] { phases_.PrepareServer(run); });
}
void TimedPhases::StageAndBackup(UpdateRun& run) {
  Timed("Блокировки, временные каталоги, резервная копия", [&] { phases_.StageAndBackup(run); });
}
void TimedPhases::RebuildDatabase(UpdateRun& run) {
  Timed("Формирование базы UTF8", [&] { phases_.RebuildDatabase(run); });
}
void TimedPhases::UpdateServerPart(UpdateRun& run) {
  Timed("Обновление серверной части", [&] { phases_.UpdateServerPart(run); });
}
void TimedPhases::UpdateClientPart(UpdateRun& run) {
  Timed("Обновление клиентской части", [&] { phases_.UpdateClientPart(run); });
}
void TimedPhases::RollBack(UpdateRun& run, const std::string& failure_message) {
  Timed("Откат изменений", [&] { phases_.RollBack(run, failure_message); });
}
void TimedPhases::RemovePayloadFolder(UpdateRun& run) {
  Timed("Удаление временной папки", [&] { phases_.RemovePayloadFolder(run); });
}
bool TimedPhases::BringDatabaseOnlineAtEnd(UpdateRun& run) {
  return Timed("Перевод базы данных в многопользовательский режим",
               [&] { return phases_.BringDatabaseOnlineAtEnd(run); });
}

std::string PhaseTimesText(const std::vector<PhaseTime>& times) {
  std::string text = "Время этапов, с (в скобках: из них фиксированные паузы):\n";
  uint64_t total = 0;
  uint64_t paused = 0;
  for (const PhaseTime& time : times) {
    text +=
        "  " + time.name + ": " + Seconds(time.elapsed_ms) + " (" + Seconds(time.paused_ms) + ")\n";
    total += time.elapsed_ms;
    paused += time.paused_ms;
  }
  return text + "  Всего: " + Seconds(total) + " (" + Seconds(paused) + ")\n";
}

void UpdateCommand(const UpdateRequest& request, const ProjectProfile& profile,
                   const TFBServParams& server_params, platform::Platform& platform,
                   FrontEnd& front, std::ostream& out) {
  front.captions.ShowCaption("Идет обновление...");
  PauseCountingClock clock(platform.clock);
  platform::Platform timed_platform{
      platform.files,     platform.volumes,   platform.registry,  platform.services,
      platform.processes, platform.libraries, platform.resources, clock};
  ProductUpdatePhases product;
  TimedPhases phases(product, clock);
  const UpdateOutcome outcome =
      RunUpdate(request, profile, server_params, timed_platform, front, phases);
  front.captions.ShowCaption(OutcomeCaption(outcome));
  if (outcome.end == UpdateOutcome::End::kSucceeded) {
    front.log.SaveExceptionToLog(kUpdateSucceededLogEntry);
  }
  if (!phases.times().empty()) out << PhaseTimesText(phases.times()) << std::flush;
  if (outcome.end == UpdateOutcome::End::kAbandoned) throw SilentAbort();
  if (outcome.end == UpdateOutcome::End::kFailed) throw UpdateFailure(outcome.Message);
}

void RecoverCommand(const UpdateRequest& request, const ProjectProfile& profile,
                    const TFBServParams& server_params, platform::Platform& platform,
                    FrontEnd& front) {
  ProductUpdatePhases phases;
  const RecoveryOutcome recovery =
      RecoverInterruptedUpdates(request, profile, server_params, platform, front, phases);
  if (recovery.outcome.end == UpdateOutcome::End::kAbandoned) throw SilentAbort();
  if (recovery.outcome.end == UpdateOutcome::End::kFailed) {
    throw UpdateFailure(recovery.outcome.Message);
  }
  if (recovery.found == 0) {
    front.log.SaveExceptionToLog("Прерванных обновлений в каталоге \"" + request.ProductFolder +
                                 "\" не обнаружено.");
  }
}

}  // namespace updater::console
