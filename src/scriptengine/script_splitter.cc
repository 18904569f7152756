#include "scriptengine/script_splitter.h"

#include <algorithm>
#include <cstring>

#include "platform/strings.h"
#include "scriptengine/errors.h"
#include "scriptengine/sql_tokens.h"

namespace updater::scriptengine {

using platform::AsciiUpper;
using platform::Trim;

size_t TextSource::Read(char* buffer, size_t size) {
  const size_t count = std::min(size, text_.size() - position_);
  std::memcpy(buffer, text_.data() + position_, count);
  position_ += count;
  return count;
}

size_t FileSource::Read(char* buffer, size_t size) {
  platform::Result<size_t> read = file_->Read(buffer, size);
  if (!read.ok()) {
    throw ScriptError("the script file cannot be read: " + read.error().Describe());
  }
  return read.value();
}

StatementSplitter::StatementSplitter(ByteSource& source, size_t buffer_size,
                                     size_t max_statement_bytes)
    : source_(source),
      buffer_size_(std::max<size_t>(buffer_size, 16)),
      max_statement_bytes_(max_statement_bytes) {
  buffer_.reserve(buffer_size_);
}

bool StatementSplitter::Ensure(size_t count) {
  while (buffer_.size() - position_ < count) {
    if (source_ended_) return false;
    // Keep the unread tail and fill up behind it.
    buffer_.erase(0, position_);
    position_ = 0;
    const size_t kept = buffer_.size();
    const size_t room = std::max(buffer_size_, count) - kept;
    buffer_.resize(kept + room);
    const size_t read = source_.Read(buffer_.data() + kept, room);
    buffer_.resize(kept + read);
    if (read == 0) source_ended_ = true;
    NoteMemory();
  }
  return true;
}

bool StatementSplitter::UpcomingIs(std::string_view bytes) {
  if (!Ensure(bytes.size())) return false;
  return std::memcmp(buffer_.data() + position_, bytes.data(), bytes.size()) == 0;
}

void StatementSplitter::NoteMemory() {
  peak_bytes_ = std::max(peak_bytes_, buffer_.capacity() + text_.capacity());
}

void StatementSplitter::AppendRun(std::string_view run) {
  line_ += static_cast<size_t>(std::count(run.begin(), run.end(), '\n'));
  if (text_.size() + run.size() > max_statement_bytes_) {
    overflow_ = true;
    return;
  }
  const size_t capacity = text_.capacity();
  text_.append(run);
  if (text_.capacity() != capacity) NoteMemory();
}

void StatementSplitter::Append(char c) {
  if (text_.size() >= max_statement_bytes_) {
    overflow_ = true;
    return;
  }
  if (text_.size() == text_.capacity()) {
    text_.push_back(c);
    NoteMemory();
  } else {
    text_.push_back(c);
  }
}

bool StatementSplitter::EndWord() {
  if (word_.empty()) return false;
  const std::string word = AsciiUpper(word_);
  word_.clear();
  ++words_;
  if (words_ == 1 && word != "EXECUTE") words_ = 100;  // no block: stop looking
  if (words_ == 2 && word == "IBEBLOCK") block_ = true;
  if (!block_) return false;
  if (word == "BEGIN" || word == "CASE") {
    ++depth_;
    if (word == "BEGIN") block_opened_ = true;
  } else if (word == "END" && depth_ > 0) {
    --depth_;
    return depth_ == 0 && block_opened_;
  }
  return false;
}

std::optional<ScriptStatement> StatementSplitter::Next() {
  for (;;) {
    text_.clear();
    overflow_ = false;
    has_code_ = false;
    word_.clear();
    words_ = 0;
    block_ = block_opened_ = false;
    depth_ = 0;
    State state = State::kCode;
    size_t state_line = line_;
    bool terminated = false;

    // Blanks before the statement are not part of it; a terminator that
    // follows a closed block belongs to that block.
    while (Ensure(1) && static_cast<unsigned char>(buffer_[position_]) <= ' ') {
      if (buffer_[position_] == '\n') ++line_;
      ++position_;
    }
    if (swallow_terminator_) {
      swallow_terminator_ = false;
      if (UpcomingIs(terminator_)) {
        position_ += terminator_.size();
        continue;
      }
    }
    start_line_ = line_;

    while (!terminated && Ensure(1)) {
      if (state == State::kString || state == State::kQuotedName) {
        // Most of a data script is literals: take everything up to the next
        // quote at once.
        const char quote = state == State::kString ? '\'' : '"';
        const char* begin = buffer_.data() + position_;
        const size_t available = buffer_.size() - position_;
        const void* found = std::memchr(begin, quote, available);
        const size_t run = found != nullptr ? static_cast<const char*>(found) - begin : available;
        if (run > 0) {
          AppendRun(std::string_view(begin, run));
          position_ += run;
          continue;
        }
      }
      const char c = buffer_[position_];
      switch (state) {
        case State::kCode:
          if (!block_ && !terminator_.empty() && c == terminator_[0] && UpcomingIs(terminator_)) {
            EndWord();
            position_ += terminator_.size();
            terminated = true;
            continue;
          }
          if (IsWordByte(c)) {
            if (words_ < 2 || block_) word_ += c;
          } else if (EndWord()) {
            terminated = true;
            swallow_terminator_ = true;
            continue;  // `c` belongs to what follows the block
          }
          if (c == '-' && UpcomingIs("--")) {
            state = State::kLineComment;
          } else if (c == '/' && UpcomingIs("/*")) {
            state = State::kBlockComment;
            state_line = line_;
            Append(c);
            ++position_;  // the '*' must not close the comment it opens
            Append('*');
            ++position_;
            continue;
          } else if (c == '\'') {
            state = State::kString;
            state_line = line_;
            has_code_ = true;
          } else if (c == '"') {
            state = State::kQuotedName;
            state_line = line_;
            has_code_ = true;
          } else if (static_cast<unsigned char>(c) > ' ') {
            has_code_ = true;
          }
          break;
        case State::kLineComment:
          if (c == '\n') state = State::kCode;
          break;
        case State::kBlockComment:
          if (c == '*' && UpcomingIs("*/")) {
            Append(c);
            ++position_;
            state = State::kCode;
            Append('/');
            ++position_;
            continue;
          }
          break;
        case State::kString:
        case State::kQuotedName: {
          const char quote = state == State::kString ? '\'' : '"';
          if (c == quote) {
            if (UpcomingIs(std::string(2, quote))) {
              Append(c);
              ++position_;  // the doubled quote stays inside
            } else {
              state = State::kCode;
            }
          }
          break;
        }
      }
      if (c == '\n') ++line_;
      Append(c);
      ++position_;
    }
    if (!terminated && state == State::kCode && EndWord()) swallow_terminator_ = true;

    ScriptStatement statement;
    statement.line = start_line_;
    const std::string trimmed = Trim(text_);
    if (!has_code_ && state != State::kString && state != State::kQuotedName &&
        state != State::kBlockComment) {
      if (terminated) continue;  // an empty statement: ";;" or comments only
      return std::nullopt;       // the end of the script
    }
    statement.text = trimmed;
    if (overflow_) {
      statement.text = trimmed.substr(0, 1024) + " ...";
      statement.error = "statement longer than " + std::to_string(max_statement_bytes_) +
                        " bytes (it starts at line " + std::to_string(start_line_) + ")";
    } else if (state == State::kString) {
      statement.error = "string literal not closed at the end of the script (it starts at line " +
                        std::to_string(state_line) + ")";
    } else if (state == State::kQuotedName) {
      statement.error = "quoted name not closed at the end of the script (it starts at line " +
                        std::to_string(state_line) + ")";
    } else if (state == State::kBlockComment) {
      statement.error = "comment not closed at the end of the script (it starts at line " +
                        std::to_string(state_line) + ")";
    } else if (block_ && !terminated && !swallow_terminator_) {
      statement.error = "block not closed by END at the end of the script (it starts at line " +
                        std::to_string(start_line_) + ")";
    }
    text_.clear();
    if (text_.capacity() > (1u << 20)) text_.shrink_to_fit();
    return statement;
  }
}

}  // namespace updater::scriptengine
