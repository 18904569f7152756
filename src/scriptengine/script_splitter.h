// Splits a script into statements as it reads it, so that a script of
// gigabytes never lies in memory whole: only the statement being read and
// one buffer of the source do.
//
// A statement ends at the current terminator (";" until SET TERM changes it)
// when the terminator stands outside comments ("--" to the end of the line,
// which ends at CR, LF or CR LF; "/* ... */"), string literals ('...' with ''
// inside, and q'{...}' with any opening byte) and quoted names ("..." with ""
// inside). A block of the engine's own language ("EXECUTE
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

  // The next statement, or nothing at the end of the script. A UTF-8
  // byte-order mark at the start of the script is passed over. A statement
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
  enum class State {
    kCode,
    kLineComment,   // "--" up to CR or LF
    kBlockComment,  // "/* ... */"
    kString,        // '...'
    kQuotedName,    // "..."
    kAlternative,   // q'<open>...<close>'
  };

  // Reading the source.
  // Makes at least `count` unread bytes available unless the source ends.
  bool Ensure(size_t count) { return buffer_.size() - position_ >= count || Refill(count); }
  bool Refill(size_t count);
  bool UpcomingIs(std::string_view bytes);
  // Passes over `count` available bytes that belong to no statement.
  void Skip(size_t count);
  // Moves `count` available bytes into the statement, counting their lines.
  void Take(size_t count);
  void NoteMemory();

  // Reading one statement.
  void StartStatement();
  // Passes the blanks before a statement; true when it also passed the
  // terminator that follows a closed block.
  bool SkipToStatement();
  // Reads one byte's worth of the statement (a run of bytes inside a
  // literal).
  void Step();
  void StepCode(char c);
  // Takes the bytes of a literal up to its next possible end at once: most
  // of a data script is literals.
  bool TakeLiteralRun();
  // Takes at once the bytes up to the next one that may change the state:
  // in code where no word is watched, and inside comments.
  bool TakePlainRun();
  // Handles the end of a word of code; returns true when it closes a block.
  bool EndWord();
  // True when the statement read holds nothing to run.
  bool IsEmpty() const;
  ScriptStatement Finish();
  std::string Error() const;

  ByteSource& source_;
  std::string buffer_;
  size_t buffer_size_;
  size_t max_statement_bytes_;
  size_t position_ = 0;  // next unread byte in buffer_
  bool source_ended_ = false;
  bool started_ = false;  // whether the byte-order mark was looked for
  std::string terminator_ = ";";
  size_t line_ = 1;
  char last_byte_ = '\n';  // the byte read before position_
  size_t peak_bytes_ = 0;
  bool swallow_terminator_ = false;

  // The statement being read.
  std::string text_;
  bool overflow_ = false;
  bool has_code_ = false;
  bool terminated_ = false;
  size_t start_line_ = 0;
  State state_ = State::kCode;
  size_t state_line_ = 0;  // where the literal or comment being read starts
  char closing_ = 0;       // the closing byte of an alternative string literal
  std::string word_;
  int words_ = 0;
  bool block_ = false;
  bool block_opened_ = false;
  int depth_ = 0;
};

}  // namespace updater::scriptengine
