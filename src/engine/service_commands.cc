#include "engine/service_commands.h"

namespace updater {
namespace {

ServiceNotice NoticeBox(FrontEnd& front) {
  return [&front](const std::string& text) { front.prompt.ShowNotice(text); };
}

}  // namespace

void StopFirebirdServiceCommand(const TFBServParams& server_params, platform::Platform& platform,
                                FrontEnd& front) {
  StopFirebirdService(server_params, true, platform, NoticeBox(front));
}

void StartFirebirdServiceCommand(const TFBServParams& server_params, platform::Platform& platform,
                                 FrontEnd& front) {
  StartFirebirdService(server_params, true, platform, NoticeBox(front));
}

}  // namespace updater
