// TESSEL_OUTPUT: where the sound goes for a host that knows nothing of our additions
// (the Windows media player itself, a test): "wav:PATH" renders into a WAV file,
// "null" plays nothing, "device" (or no value) uses the device BASS_Init names.
#pragma once

#include <optional>
#include <string>

namespace tessel::sound {

struct OutputChoice {
    int kind = 0;        // TESSEL_OUTPUT_*
    std::string wavPath; // for TESSEL_OUTPUT_WAV and TESSEL_OUTPUT_OFFLINE
    int wavFd = -1;      // instead of wavPath: a host's open descriptor
};

// value may be null (unset). The keywords take any case; "wav:" splits at the first
// colon only, so "wav:Z:\x.wav" names Z:\x.wav. nullopt for anything else, including
// "wav:" without a path.
std::optional<OutputChoice> ParseOutputSetting(const char *value);

// TESSEL_OUTPUT as it is at this moment.
std::optional<OutputChoice> OutputFromEnvironment();

} // namespace tessel::sound
