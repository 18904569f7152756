// What a failed call of the Firebird client tells: the errors of its status
// vector, by code and with their text arguments, which callers decide by,
// next to the texts the client gives for them, which they show.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <string>
#include <vector>

namespace updater::fbclient {

// One error of a status vector: its code (isc_...) and the texts the vector
// gives it as arguments, in their order (8-bit, as the client gives them).
struct FbError {
  ISC_STATUS code = 0;
  std::vector<std::string> arguments;

  bool operator==(const FbError&) const = default;
};

struct FbStatus {
  // The errors in the order of the vector: the main one first, then those
  // that explain it. Warnings are not among them.
  std::vector<FbError> errors;
  // The client's texts for the vector, one a message, in its 8-bit text
  // (the connection's character set for the server's words).
  std::vector<std::string> texts;

  // The first error with `code`, or nullptr.
  const FbError* Find(ISC_STATUS code) const;
  bool Has(ISC_STATUS code) const { return Find(code) != nullptr; }

  // The texts joined by CR LF; empty when the client gave none.
  std::string Text() const;
};

// One text of a status vector as fb_interpret left it in `buffer` of
// `capacity` bytes. A long text may have been cut inside a UTF-8 character
// (the server's words over a UTF8 connection): by the server, which cuts a
// long exception message at its limit in bytes, or by the client where the
// buffer ends (marked with "..."). The bytes of that character go, so that
// the text stays UTF-8 and is read as such, not taken for another character
// set and converted a second time.
std::string InterpretedText(const char* buffer, size_t capacity);

// The errors of the status vector `vector`, read up to its end marker and
// never past the ISC_STATUS_LENGTH entries the client writes.
std::vector<FbError> StatusErrors(const ISC_STATUS* vector);

}  // namespace updater::fbclient
