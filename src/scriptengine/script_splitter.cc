#include "scriptengine/script_splitter.h"

#include <algorithm>
#include <array>
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
  // Room for most statements from the start: the text then grows only for
  // long ones (data blocks), and by how long they are, not by how the
  // source's pieces happened to fall.
  text_.reserve(4096);
}

bool StatementSplitter::Refill(size_t count) {
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
  // A byte or two, mostly: compared here rather than by a call.
  const char* at = buffer_.data() + position_;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (at[i] != bytes[i]) return false;
  }
  return true;
}

void StatementSplitter::NoteMemory() {
  peak_bytes_ = std::max(peak_bytes_, buffer_.capacity() + text_.capacity());
}

void StatementSplitter::Skip(size_t count) {
  if (count == 0) return;
  const char* bytes = buffer_.data() + position_;
  line_ += CountLineEnds(bytes, count, last_byte_);
  last_byte_ = bytes[count - 1];
  position_ += count;
}

void StatementSplitter::Take(size_t count) {
  const std::string_view run(buffer_.data() + position_, count);
  Skip(count);
  if (overflow_ || text_.size() + run.size() > max_statement_bytes_) {
    overflow_ = true;
    return;
  }
  const size_t capacity = text_.capacity();
  text_.append(run);
  if (text_.capacity() != capacity) NoteMemory();
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

void StatementSplitter::StartStatement() {
  text_.clear();
  overflow_ = false;
  has_code_ = false;
  terminated_ = false;
  state_ = State::kCode;
  word_.clear();
  words_ = 0;
  block_ = block_opened_ = false;
  depth_ = 0;
}

bool StatementSplitter::SkipToStatement() {
  while (Ensure(1) && static_cast<unsigned char>(buffer_[position_]) <= ' ') Skip(1);
  start_line_ = line_;
  state_line_ = line_;
  if (!swallow_terminator_) return false;
  swallow_terminator_ = false;
  if (!UpcomingIs(terminator_)) return false;
  Skip(terminator_.size());
  return true;
}

bool StatementSplitter::TakeLiteralRun() {
  char end = closing_;
  if (state_ == State::kString) end = '\'';
  if (state_ == State::kQuotedName) end = '"';
  const char* begin = buffer_.data() + position_;
  if (*begin == end) return false;  // at its possible end: Step looks further
  const void* found = std::memchr(begin, end, buffer_.size() - position_);
  const size_t run =
      found != nullptr ? static_cast<const char*>(found) - begin : buffer_.size() - position_;
  if (run == 0) return false;
  Take(run);
  return true;
}

// The bytes that may change what the code around them means, apart from
// the terminator: quotes, comment starts and the q of an alternative string
// literal.
constexpr auto kCodeStops = [] {
  std::array<bool, 256> stops{};
  for (const unsigned char c : {'\'', '"', '-', '/', 'q', 'Q'}) stops[c] = true;
  return stops;
}();

namespace {

// The end of a literal or quoted name whose opening `quote` stands right
// before `from`: the byte after its closing quote. Nothing when the bytes
// up to `end` do not settle it (no closing quote, or one at the very end
// that a doubling quote may follow).
const char* ClosedLiteralEnd(const char* from, const char* end, char quote) {
  while (from < end) {
    const void* found = std::memchr(from, quote, static_cast<size_t>(end - from));
    if (found == nullptr) return nullptr;
    const char* const close = static_cast<const char*>(found);
    if (close + 1 == end) return nullptr;
    if (close[1] != quote) return close + 1;
    from = close + 2;  // a doubled quote stays inside
  }
  return nullptr;
}

}  // namespace

bool StatementSplitter::TakePlainRun() {
  const char* const begin = buffer_.data() + position_;
  const char* const end = buffer_.data() + buffer_.size();
  const char* p = begin;
  switch (state_) {
    case State::kCode: {
      // Words matter only up to the second one, and all through a block.
      if (words_ < 2 || block_) return false;
      const char stop = terminator_.empty() ? '\'' : terminator_[0];
      bool code = false;
      while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (*p == stop) break;
        if (!kCodeStops[c]) {
          code = code || c > ' ';
          ++p;
          continue;
        }
        // A row of a data block is names, literals and numbers: what is
        // plainly settled within the buffer is taken in the same run, and
        // only what may open a comment or an alternative literal, or what
        // the buffer cuts off, goes byte by byte.
        const char* const next = p + 1;
        if (c == '\'' || c == '"') {
          const char* close = ClosedLiteralEnd(next, end, *p);
          if (close == nullptr) break;
          code = true;
          p = close;
          continue;
        }
        if (next == end || *next == (c == '-' ? '-' : c == '/' ? '*' : '\'')) break;
        code = true;
        ++p;
      }
      if (code) has_code_ = true;
      break;
    }
    case State::kLineComment:
      while (p < end && *p != '\r' && *p != '\n') ++p;
      break;
    case State::kBlockComment:
      if (const void* star = std::memchr(begin, '*', end - begin); star != nullptr) {
        p = static_cast<const char*>(star);
      } else {
        p = end;
      }
      break;
    default:
      return false;
  }
  if (p == begin) return false;
  Take(p - begin);
  return true;
}

void StatementSplitter::StepCode(char c) {
  if (!block_ && !terminator_.empty() && c == terminator_[0] && UpcomingIs(terminator_)) {
    EndWord();
    Skip(terminator_.size());
    terminated_ = true;
    return;
  }
  if ((c == 'q' || c == 'Q') && Ensure(3) &&
      StartsAlternativeString(std::string_view(buffer_).substr(position_, 3), last_byte_)) {
    // The byte before is no word byte, so no word is pending here.
    state_ = State::kAlternative;
    state_line_ = line_;
    closing_ = AlternativeClosing(buffer_[position_ + 2]);
    has_code_ = true;
    Take(3);  // q, the quote and the opening byte, which must not close it
    return;
  }
  if (IsWordByte(c)) {
    if (words_ < 2 || block_) word_ += c;
  } else if (EndWord()) {
    terminated_ = true;
    swallow_terminator_ = true;
    return;  // `c` belongs to what follows the block
  }
  if (c == '-' && UpcomingIs("--")) {
    state_ = State::kLineComment;
  } else if (c == '/' && UpcomingIs("/*")) {
    state_ = State::kBlockComment;
    state_line_ = line_;
    Take(2);  // the '*' must not close the comment it opens
    return;
  } else if (c == '\'' || c == '"') {
    state_ = c == '\'' ? State::kString : State::kQuotedName;
    state_line_ = line_;
    has_code_ = true;
  } else if (static_cast<unsigned char>(c) > ' ') {
    has_code_ = true;
  }
  Take(1);
}

void StatementSplitter::Step() {
  const bool literal =
      state_ == State::kString || state_ == State::kQuotedName || state_ == State::kAlternative;
  if (literal ? TakeLiteralRun() : TakePlainRun()) return;
  const char c = buffer_[position_];
  switch (state_) {
    case State::kCode:
      StepCode(c);
      return;
    case State::kLineComment:
      if (c == '\r' || c == '\n') state_ = State::kCode;
      break;
    case State::kBlockComment:
      if (c == '*' && UpcomingIs("*/")) {
        state_ = State::kCode;
        Take(2);
        return;
      }
      break;
    case State::kString:
    case State::kQuotedName:
      // A doubled quote stays inside; a single one closes.
      if (const char doubled[] = {c, c}; UpcomingIs(std::string_view(doubled, 2))) {
        Take(2);
        return;
      }
      state_ = State::kCode;
      break;
    case State::kAlternative:
      if (const char end[] = {closing_, '\''}; UpcomingIs(std::string_view(end, 2))) {
        state_ = State::kCode;
        Take(2);
        return;
      }
      break;
  }
  Take(1);
}

bool StatementSplitter::IsEmpty() const {
  return !has_code_ && state_ != State::kString && state_ != State::kQuotedName &&
         state_ != State::kAlternative && state_ != State::kBlockComment;
}

std::string StatementSplitter::Error() const {
  if (overflow_) {
    return "statement longer than " + std::to_string(max_statement_bytes_) +
           " bytes (it starts at line " + std::to_string(start_line_) + ")";
  }
  const std::string at = " (it starts at line " + std::to_string(state_line_) + ")";
  switch (state_) {
    case State::kString:
    case State::kAlternative:
      return "string literal not closed at the end of the script" + at;
    case State::kQuotedName:
      return "quoted name not closed at the end of the script" + at;
    case State::kBlockComment:
      return "comment not closed at the end of the script" + at;
    case State::kCode:
    case State::kLineComment:
      break;
  }
  if (block_ && !terminated_ && !swallow_terminator_) {
    return "block not closed by END at the end of the script (it starts at line " +
           std::to_string(start_line_) + ")";
  }
  return "";
}

ScriptStatement StatementSplitter::Finish() {
  ScriptStatement statement;
  statement.line = start_line_;
  statement.text = Trim(text_);
  if (overflow_) statement.text = statement.text.substr(0, 1024) + " ...";
  statement.error = Error();
  text_.clear();
  if (text_.capacity() > (1u << 20)) text_.shrink_to_fit();
  return statement;
}

std::optional<ScriptStatement> StatementSplitter::Next() {
  if (!started_) {
    started_ = true;
    if (UpcomingIs("\xEF\xBB\xBF")) position_ += 3;  // a UTF-8 byte-order mark
  }
  for (;;) {
    StartStatement();
    if (SkipToStatement()) continue;
    while (!terminated_ && Ensure(1)) Step();
    if (!terminated_ && state_ == State::kCode && EndWord()) swallow_terminator_ = true;
    if (!IsEmpty()) return Finish();
    if (!terminated_) return std::nullopt;  // the end of the script
    // An empty statement (";;" or comments only): on to the next.
  }
}

}  // namespace updater::scriptengine
