// Letting the front end process its pending messages (repaint, menu), so that
// log entries appear while a long operation runs. Without a window it does
// nothing.
#pragma once

namespace updater {

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessMessages() = 0;
};

}  // namespace updater
