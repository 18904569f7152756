// The bulk load of data blocks over the Firebird client.
#pragma once

#include <string>
#include <vector>

#include "scriptengine/database.h"

namespace updater::scriptengine {

struct InsertPlan {};

}  // namespace updater::scriptengine
