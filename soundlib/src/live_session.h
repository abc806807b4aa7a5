// The one live session of the process, as BASS 0.8 has one output per process, and the
// host's settings for the next one. The C entry points take the live session under one
// lock and call it with no lock held: BASS_Free ends it while calls are still under way,
// and it goes when the last of them has returned.
#pragma once

#include "session.h"

#include <memory>
#include <string>

namespace tessel::sound::live_session {

// BASS_Init: ends the live session, if any, and opens a new one.
bool Init(int device, uint32_t freq, uint32_t flags);
// BASS_Free.
void Free();
// The live session, or nullptr.
std::shared_ptr<Session> Get();

bool SetOutput(int kind, const char *wavPath);
bool SetOutputFile(int kind, int fd);
void SetNullBuffer(uint32_t milliseconds);
void SetOfflineLimit(uint32_t limitMs, bool onePass);
// The output's failure: the live session's, or the last one's until the next Init.
bool GetOutputError(char *text, uint32_t size);

} // namespace tessel::sound::live_session
