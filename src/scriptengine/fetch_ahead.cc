#include "scriptengine/fetch_ahead.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "scriptengine/errors.h"

namespace updater::scriptengine {
namespace {

// Rows in one batch, and the text bytes after which a batch ends sooner:
// the batches in flight bound the memory whatever the table's width.
constexpr size_t kBatchRows = 256;
constexpr size_t kBatchBytes = 1 << 20;
constexpr size_t kBatches = 3;

struct Batch {
  std::vector<std::vector<Value>> rows;  // the first `count` hold this batch's
  size_t count = 0;
  bool end = false;          // the last batch: no row follows
  bool holds_blob = false;   // its last row holds a blob: the reading waits
  std::exception_ptr error;  // the failure that ended the rows
  uint64_t serial = 0;
};

class AheadCursor final : public Cursor {
 public:
  explicit AheadCursor(std::unique_ptr<Cursor> inner)
      : inner_(std::move(inner)), columns_(inner_->Columns()), free_(kBatches) {
    reader_ = std::thread([this] { ReadAhead(); });
  }

  ~AheadCursor() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
  }

  const std::vector<Column>& Columns() const override { return columns_; }

  bool Next() override {
    if (taken_ && at_ + 1 < current_.count) {
      ++at_;
      return true;
    }
    if (taken_ && current_.end) {
      if (current_.error) std::rethrow_exception(std::exchange(current_.error, nullptr));
      return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_) {
      released_ = current_.serial;
      free_.push_back(std::move(current_));
      taken_ = false;
      changed_.notify_all();
    }
    changed_.wait(lock, [&] { return !ready_.empty(); });
    current_ = std::move(ready_.front());
    ready_.pop_front();
    taken_ = true;
    at_ = 0;
    lock.unlock();
    changed_.notify_all();
    if (current_.count > 0) return true;
    if (current_.error) std::rethrow_exception(std::exchange(current_.error, nullptr));
    return false;
  }

  const Value& Get(size_t index) const override { return current_.rows[at_].at(index); }

  void ReadBlob(size_t index, const std::function<void(std::string_view)>& sink) override {
    // Only the row the reading waits at is the one `inner_` is on.
    if (!taken_ || !current_.holds_blob || at_ + 1 != current_.count) {
      throw ScriptError("internal error: a blob read ahead of its row");
    }
    inner_->ReadBlob(index, sink);
  }

 private:
  // The reading thread: fills free batches and hands them over, until the
  // rows end, they fail, or the cursor goes.
  void ReadAhead() {
    uint64_t serial = 0;
    for (;;) {
      Batch batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !free_.empty(); });
        if (stop_) return;
        batch = std::move(free_.front());
        free_.pop_front();
      }
      Fill(batch);
      batch.serial = ++serial;
      const bool end = batch.end;
      const bool wait = batch.holds_blob;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(std::move(batch));
      }
      changed_.notify_all();
      if (end) return;
      if (wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || released_ >= serial; });
        if (stop_) return;
      }
    }
  }

  void Fill(Batch& batch) {
    batch.count = 0;
    batch.end = false;
    batch.holds_blob = false;
    batch.error = nullptr;
    size_t bytes = 0;
    try {
      while (batch.count < kBatchRows && bytes < kBatchBytes) {
        if (!inner_->Next()) {
          batch.end = true;
          return;
        }
        if (batch.rows.size() <= batch.count) batch.rows.emplace_back(columns_.size());
        std::vector<Value>& row = batch.rows[batch.count++];
        for (size_t i = 0; i < columns_.size(); ++i) {
          row[i] = inner_->Get(i);
          bytes += row[i].text.size();
          if (row[i].kind == Value::Kind::kBlob) batch.holds_blob = true;
        }
        if (batch.holds_blob) return;
      }
    } catch (...) {
      batch.error = std::current_exception();
      batch.end = true;
    }
  }

  std::unique_ptr<Cursor> inner_;
  std::vector<Column> columns_;
  std::thread reader_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> free_;   // batches to fill
  std::deque<Batch> ready_;  // batches filled, in order
  uint64_t released_ = 0;    // the last batch the caller has moved past
  bool stop_ = false;

  // The caller's side, touched by its thread only.
  Batch current_;
  bool taken_ = false;
  size_t at_ = 0;
};

}  // namespace

std::unique_ptr<Cursor> FetchAhead(std::unique_ptr<Cursor> cursor, const Table& table) {
  for (const Column& column : table.columns) {
    if (column.unicode_too) return cursor;
  }
  return std::make_unique<AheadCursor>(std::move(cursor));
}

}  // namespace updater::scriptengine
