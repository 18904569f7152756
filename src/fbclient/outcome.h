// The results of the Firebird client room: a value, or the failure that
// prevented it. Nothing in this room throws either user's failure; the
// updater and the script engine word the failure each in its own way.
#pragma once

#include <utility>
#include <variant>

namespace updater::fbclient {

// `T` or `Failure`; the two must be different types.
template <typename T, typename Failure>
class [[nodiscard]] Outcome {
 public:
  Outcome(T value) : content_(std::move(value)) {}            // NOLINT: implicit by design
  Outcome(Failure failure) : content_(std::move(failure)) {}  // NOLINT

  bool ok() const { return content_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Only meaningful when ok().
  const T& value() const& { return std::get<0>(content_); }
  T& value() & { return std::get<0>(content_); }
  // By value: a reference into a temporary Outcome would dangle.
  T value() && { return std::move(std::get<0>(content_)); }

  // Only meaningful when !ok().
  const Failure& failure() const { return std::get<1>(content_); }

 private:
  std::variant<T, Failure> content_;
};

}  // namespace updater::fbclient
