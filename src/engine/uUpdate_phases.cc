// The phases of the product's update run. Being built: until each phase is
// in place it refuses to run, so that no run can change anything half-way.
#include "common/failures.h"
#include "engine/uUpdate.h"

namespace updater {
namespace {

[[noreturn]] void NotBuiltYet() {
  throw UpdateFailure("Этот этап обновления в данной сборке не поддерживается.");
}

}  // namespace

void ProductUpdatePhases::PrepareServer(UpdateRun&) { NotBuiltYet(); }
void ProductUpdatePhases::StageAndBackup(UpdateRun&) { NotBuiltYet(); }
void ProductUpdatePhases::RebuildDatabase(UpdateRun&) { NotBuiltYet(); }
void ProductUpdatePhases::UpdateServerPart(UpdateRun&) { NotBuiltYet(); }
void ProductUpdatePhases::UpdateClientPart(UpdateRun&) { NotBuiltYet(); }
void ProductUpdatePhases::RollBack(UpdateRun&, const std::string&) { NotBuiltYet(); }
void ProductUpdatePhases::RemovePayloadFolder(UpdateRun&) {}
bool ProductUpdatePhases::BringDatabaseOnlineAtEnd(UpdateRun&) { return true; }

}  // namespace updater
