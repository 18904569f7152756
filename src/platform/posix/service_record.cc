#include "platform/posix/service_record.h"

#include <cerrno>
#include <fstream>

#include "platform/posix/posix_platform.h"
#include "platform/posix/proc_table.h"

namespace updater::platform {

bool ServiceRecord::Alive() const { return pid > 0 && LiveProcessStartTicks(pid) == start_ticks; }

std::optional<ServiceRecord> LoadServiceRecord(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  ServiceRecord record;
  std::string key;
  uint64_t value = 0;
  while (in >> key >> value) {
    if (key == "pid") record.pid = static_cast<pid_t>(value);
    if (key == "start_ticks") record.start_ticks = value;
    if (key == "started_ms") record.started_ms = value;
    if (key == "stop_ms") record.stop_ms = value;
    if (key == "killed") record.killed = value != 0;
    if (key == "running") record.running = value != 0;
  }
  return record;
}

Status SaveServiceRecord(const std::string& path, const ServiceRecord& record) {
  std::ofstream out(path, std::ios::trunc);
  out << "pid " << record.pid << "\nstart_ticks " << record.start_ticks << "\nstarted_ms "
      << record.started_ms << "\nstop_ms " << record.stop_ms << "\nkilled " << record.killed
      << "\nrunning " << record.running << "\n";
  out.close();
  if (!out) return ErrnoError("write", path, errno != 0 ? errno : EIO);
  return Status::Ok();
}

}  // namespace updater::platform
