#include "scriptengine/block_lanes.h"

namespace updater::scriptengine {

BlockLanes::BlockLanes(std::vector<Database*> databases) {
  try {
    for (Database* database : databases) {
      auto lane = std::make_unique<Lane>();
      lane->database = database;
      Lane& serving = *lane;
      lanes_.push_back(std::move(lane));
      serving.thread = std::thread([this, &serving] { Serve(serving); });
    }
  } catch (...) {
    StopAndJoin();
    throw;
  }
}

BlockLanes::~BlockLanes() { StopAndJoin(); }

void BlockLanes::StopAndJoin() {
  {
    std::unique_lock lock(mutex_);
    // Work already handed out still runs: its caller waits for its outcome.
    changed_.wait(lock, [this] {
      for (const auto& lane : lanes_) {
        if (lane->work) return false;
      }
      return true;
    });
    stopping_ = true;
  }
  changed_.notify_all();
  for (const auto& lane : lanes_) {
    if (lane->thread.joinable()) lane->thread.join();
  }
}

void BlockLanes::Serve(Lane& lane) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return lane.work || stopping_; });
    if (!lane.work) return;
    const Work work = lane.work;
    const Ticket ticket = lane.ticket;
    lock.unlock();
    std::exception_ptr error;
    try {
      work(*lane.database);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    ticket->error = error;
    ticket->done = true;
    lane.work = nullptr;
    lane.ticket.reset();
    changed_.notify_all();
  }
}

bool BlockLanes::FindFree(bool first_only, size_t& lane) const {
  // Free lanes take turns, beginning after the one that took the last
  // work, so that all of them get work while the server keeps up.
  const size_t usable = first_only ? 1 : lanes_.size();
  for (size_t step = 1; step <= usable; ++step) {
    lane = (last_ + step) % usable;
    if (!lanes_[lane]->work) return true;
  }
  return false;
}

void BlockLanes::WaitForFree(bool first_only) {
  std::unique_lock lock(mutex_);
  size_t lane = 0;
  changed_.wait(lock, [&] { return FindFree(first_only, lane); });
}

BlockLanes::Ticket BlockLanes::Start(Work work, bool first_only, size_t& lane) {
  auto ticket = std::make_shared<Outcome>();
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return FindFree(first_only, lane); });
    last_ = lane;
    lanes_[lane]->work = std::move(work);
    lanes_[lane]->ticket = ticket;
  }
  changed_.notify_all();
  return ticket;
}

bool BlockLanes::Done(const Ticket& ticket) {
  std::lock_guard lock(mutex_);
  return ticket->done;
}

void BlockLanes::Wait(const Ticket& ticket) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return ticket->done; });
}

}  // namespace updater::scriptengine
