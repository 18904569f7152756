// The operator's service commands: the Firebird service stopped, or started
// again, from the Service menu, with the notice box that confirms success.
// The update run stops and starts the service quietly, calling the Firebird
// layer's StopFirebirdService and StartFirebirdService itself.
#pragma once

#include "engine/uUpdate.h"
#include "firebird/uFbService.h"
#include "platform/platform.h"

namespace updater {

// StopFirebirdService of `server_params` (the server detected at start-up)
// with the notice "Служба FireBird остановлена." through the front end's
// ShowNotice. Raises its failures.
void StopFirebirdServiceCommand(const TFBServParams& server_params, platform::Platform& platform,
                                FrontEnd& front);

// StartFirebirdService, announced the same way ("Служба FireBird запущена.").
void StartFirebirdServiceCommand(const TFBServParams& server_params, platform::Platform& platform,
                                 FrontEnd& front);

}  // namespace updater
