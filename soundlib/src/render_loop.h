// The render thread: takes the host's requests, renders and mixes a chunk of every
// music that plays, writes it to the output, and publishes what is heard.
#pragma once

#include "output.h"
#include "session_state.h"

#include <cstdint>

namespace tessel::sound {

// The offline output's caps on each playback.
struct PlaybackCaps {
    uint64_t limitFrames = 0; // output frames of the host's time limit: 0 none
    bool onePass = false;     // a song that would loop for ever plays once
};

// Runs until state.quit; the output is left paused.
void RenderLoop(SessionState &state, Output &output, const OutputFormat &format, const PlaybackCaps &caps);

} // namespace tessel::sound
