#include "common/failures.h"

namespace updater {

std::string FailureMessage(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Неизвестная ошибка";
  }
}

}  // namespace updater
