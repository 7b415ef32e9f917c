// One update, from the settings copy it was given to the wallpaper: make sure the folder
// is there, download (asking whether the picture changed), convert, apply, and say what
// happened. Runs on the worker thread: it touches no window and no shared state, only
// the files, the network and the desktop's wallpaper.
#pragma once

#include <cstdint>

#include "download/cancel_token.h"
#include "settings/settings_store.h"
#include "update/outcome.h"

namespace tessaren {

struct UpdateRequest {
  std::uint64_t id = 0;
  Settings settings;
  AppliedPicture applied;     // what is on the desktop now, as far as we know
  bool redrawOnly = false;    // draw the kept picture again (the screens changed); no download
  std::time_t startedAt = 0;  // wall clock, for the picture's time of change
};

UpdateOutcome runUpdate(const UpdateRequest& request, CancelToken& cancel);

}  // namespace tessaren
