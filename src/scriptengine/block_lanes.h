// Data blocks running on worker threads, one thread per attachment, while
// the script's own thread reads, splits and parses the statements after
// them. Each attachment is used by its own thread only, one block at a
// time; the caller touches an attachment only while its lane is idle.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine {

class BlockLanes {
 public:
  using Work = std::function<void(Database&)>;

  // How one piece of work went; read it after Wait or once Done says so.
  struct Outcome {
    bool done = false;
    std::exception_ptr error;  // what the work threw, if anything
  };
  using Ticket = std::shared_ptr<Outcome>;

  // One lane for each of `databases` (the first one the script's own).
  // Throws std::system_error when a thread cannot be started.
  explicit BlockLanes(std::vector<Database*> databases);
  // Lets the work handed out finish, then ends the threads.
  ~BlockLanes();
  BlockLanes(const BlockLanes&) = delete;
  BlockLanes& operator=(const BlockLanes&) = delete;

  // Waits until a lane is free (the first lane when `first_only`) and hands
  // `work` to it, free lanes in turn. `lane` is set to the lane's index.
  Ticket Start(Work work, bool first_only, size_t& lane);
  // Waits until a lane that Start would take is free.
  void WaitForFree(bool first_only);
  bool Done(const Ticket& ticket);
  void Wait(const Ticket& ticket);

 private:
  struct Lane {
    Database* database;
    Work work;  // empty while the lane is free
    Ticket ticket;
    std::thread thread;
  };
  void Serve(Lane& lane);
  bool FindFree(bool first_only, size_t& lane) const;
  void StopAndJoin();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  size_t last_ = 0;  // the lane that took the last work
  std::vector<std::unique_ptr<Lane>> lanes_;
};

}  // namespace updater::scriptengine
