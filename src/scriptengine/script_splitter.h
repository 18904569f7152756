// Splits a script into statements as it reads it, so that a script of
// gigabytes never lies in memory whole: only the statement being read and
// one buffer of the source do.
//
// A statement ends at the current terminator (";" until SET TERM changes it)
// when the terminator stands outside comments ("--" to the end of the line,
// "/* ... */"), string literals ('...' with '' inside) and quoted names
// ("..." with "" inside). A block of the engine's own language ("EXECUTE
// IBEBLOCK ... BEGIN ... END") holds statements of its own: it ends at the
// END that closes its first BEGIN, and a terminator right after that END is
// passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_streams.h"

namespace updater::scriptengine {

// Where the script's bytes come from. Read throws ScriptError when the
// source cannot be read.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to `size` bytes; returns 0 only at the end.
  virtual size_t Read(char* buffer, size_t size) = 0;
};

// A script held in memory (a script text), read in place.
class TextSource final : public ByteSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  size_t Read(char* buffer, size_t size) override;

 private:
  std::string_view text_;
  size_t position_ = 0;
};

// A script file, read piece by piece.
class FileSource final : public ByteSource {
 public:
  FileSource(std::unique_ptr<platform::InputFile> file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  size_t Read(char* buffer, size_t size) override;

 private:
  std::unique_ptr<platform::InputFile> file_;
  std::string path_;
};

struct ScriptStatement {
  std::string text;   // without the terminator, blanks at both ends removed
  size_t line = 0;    // 1-based line where the statement starts
  std::string error;  // empty, or why the statement cannot be run (unterminated
                      // literal or comment, unclosed block, too long)
};

class StatementSplitter {
 public:
  // Statements longer than this are reported as errors instead of being
  // kept (a script without terminators would otherwise fill the memory).
  static constexpr size_t kMaxStatementBytes = 64u << 20;

  explicit StatementSplitter(ByteSource& source, size_t buffer_size = 64 * 1024,
                             size_t max_statement_bytes = kMaxStatementBytes);

  // The next statement, or nothing at the end of the script. A statement
  // cut off by the end of the script without its terminator is returned as
  // it stands when it is lexically complete; an unterminated literal,
  // comment or block comes with an error. Statements made of blanks and
  // comments only are passed over.
  std::optional<ScriptStatement> Next();

  // The terminator for the statements after the one last returned.
  void SetTerminator(std::string terminator) { terminator_ = std::move(terminator); }
  const std::string& Terminator() const { return terminator_; }

  // The most memory the splitter's own buffers (source buffer and statement
  // text) held at once, in bytes; for tests of its flat memory use.
  size_t PeakBufferBytes() const { return peak_bytes_; }

 private:
  enum class State { kCode, kLineComment, kBlockComment, kString, kQuotedName };

  // Makes at least `count` unread bytes available unless the source ends.
  bool Ensure(size_t count);
  bool UpcomingIs(std::string_view bytes);
  void Append(char c);
  // Appends bytes inside a literal, counting their line breaks.
  void AppendRun(std::string_view run);
  // Handles the end of a word of code; returns true when it closes a block.
  bool EndWord();
  void NoteMemory();

  ByteSource& source_;
  std::string buffer_;
  size_t buffer_size_;
  size_t max_statement_bytes_;
  size_t position_ = 0;  // next unread byte in buffer_
  bool source_ended_ = false;
  std::string terminator_ = ";";
  size_t line_ = 1;
  size_t peak_bytes_ = 0;
  bool swallow_terminator_ = false;

  // The statement being read.
  std::string text_;
  bool overflow_ = false;
  bool has_code_ = false;
  size_t start_line_ = 0;
  std::string word_;
  int words_ = 0;
  bool block_ = false;
  bool block_opened_ = false;
  int depth_ = 0;
};

}  // namespace updater::scriptengine
