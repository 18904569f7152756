#include "support/under_wine.h"

namespace updater::testing {

bool UnderWine() { return false; }

}  // namespace updater::testing
