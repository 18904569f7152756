// The caption area under the log (the window's mCaptions): a few lines of
// large text that tell the operator where the run stands. The update run
// writes the rollback notice there, and the progress of the data load
// below the caption while the load runs; the front ends own how it looks.
#pragma once

#include <string>

#include "common/load_progress.h"

namespace updater {

class CaptionArea : public LoadProgressView {
 public:
  virtual ~CaptionArea() = default;

  // Makes the area visible, clears it and shows `text` (lines separated by
  // single CR characters), repainted at once.
  virtual void ShowCaption(const std::string& text) = 0;
};

}  // namespace updater
