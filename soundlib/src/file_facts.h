// A module file's facts, as TesselBass_DescribeFile gives them. The last file that
// BASS_MusicLoad read whole, when its module has one subsong, is remembered with them:
// a host that asks about the file it has just played (tessel --info asks for every
// file) is answered without a second reading.
#pragma once

#include <cstdint>

namespace tessel::sound {

class Music;

// A file as it is now: any change to it, or another file at its path, differs.
struct FileIdentity {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileIdentity &other) const;
};

// False where the system gives no identity to go by (then nothing is remembered).
bool IdentityOf(const char *path, FileIdentity &identity);

// After BASS_MusicLoad read path whole into music; identity is the file's from before
// the read, so that a change during it makes the file another.
void RememberLoadedFile(const char *path, const FileIdentity &identity, const Music &music);

} // namespace tessel::sound
