// TesselBass_DescribeFile: a module file's facts straight from libopenmpt, on a module
// of its own, so a host can ask about any file while another plays.
#include "file_facts.h"

#include "module_file.h"
#include "music.h"
#include "quiet.h"

#include "tessel_bass.h"

#include <libopenmpt/libopenmpt.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tessel::sound {

bool FileIdentity::operator==(const FileIdentity &other) const
{
    return device == other.device && inode == other.inode && size == other.size && modifiedNs == other.modifiedNs &&
           changedNs == other.changedNs;
}

bool IdentityOf(const char *path, FileIdentity &identity)
{
#ifdef _WIN32
    // No inode nor change time to tell a replaced file by.
    (void)path;
    (void)identity;
    return false;
#else
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity.device = uint64_t(info.st_dev);
    identity.inode = uint64_t(info.st_ino);
    identity.size = uint64_t(info.st_size);
    identity.modifiedNs = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.changedNs = int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    return true;
#endif
}

namespace {

// Cut to fit, never within a UTF-8 sequence, always terminated.
void CopyText(char (&field)[TESSEL_FILE_TEXT], const std::string &text)
{
    size_t length = std::min(text.size(), sizeof field - 1);
    while (length < text.size() && length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

struct LoadedFile {
    std::string path;
    FileIdentity identity;
    TesselBassFileFacts facts{};
    TesselBassSubsong only{};
};

std::mutex loadedLock;
LoadedFile loaded; // path empty: none

// The facts of path when it is still the file that was loaded last.
bool RecallLoadedFile(const char *path, TesselBassFileFacts &facts, TesselBassSubsong &only)
{
    FileIdentity now;
    if (!IdentityOf(path, now))
        return false;
    std::lock_guard<std::mutex> lock(loadedLock);
    if (loaded.path.empty() || loaded.path != path || !(loaded.identity == now))
        return false;
    facts = loaded.facts;
    only = loaded.only;
    return true;
}

} // namespace

void RememberLoadedFile(const char *path, const FileIdentity &identity, const Music &music)
{
    // Each of several subsongs would need a selection of its own, which a music that
    // may play must not have: such a file is read again when asked about.
    LoadedFile file{path, identity, {}, {}};
    if (music.Subsongs() == 1) {
        file.facts.fileBytes = music.Bytes();
        file.facts.durationMs = music.LengthMs();
        file.facts.subsongs = 1;
        CopyText(file.facts.format, music.Format());
        CopyText(file.facts.tracker, music.Tracker());
        file.only = TesselBassSubsong{music.FirstOrder(), music.LengthMs()};
    } else {
        file = LoadedFile{};
    }
    std::lock_guard<std::mutex> lock(loadedLock);
    loaded = std::move(file);
}

} // namespace tessel::sound

namespace {

using tessel::sound::CopyText;

// Beyond this a duration is no pass of a song but libopenmpt's guess gone wrong.
constexpr double kMaxSeconds = 4e6;

uint32_t Milliseconds(double seconds)
{
    return seconds > 0 && seconds < kMaxSeconds ? static_cast<uint32_t>(seconds * 1000 + 0.5) : 0;
}

// Why the module reader refused path: a regular file that opens, of a size it takes,
// was refused by libopenmpt's look at its header.
int Refusal(const char *path)
{
    struct stat info {};
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        uint64_t(info.st_size) > tessel::sound::kMaxModuleBytes)
        return TESSEL_FILE_UNREADABLE;
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return TESSEL_FILE_UNREADABLE;
    std::fclose(file);
    return TESSEL_FILE_NOT_MODULE;
}

int Describe(const char *path, TesselBassFileFacts &facts, TesselBassSubsong *subsongs, uint32_t maxSubsongs)
{
    TesselBassSubsong only{};
    if (tessel::sound::RecallLoadedFile(path, facts, only)) {
        if (maxSubsongs > 0)
            subsongs[0] = only;
        return TESSEL_FILE_OK;
    }
    std::vector<unsigned char> data;
    if (!tessel::sound::ReadModuleFile(path, 0, 0, data))
        return Refusal(path);
    tessel::sound::ModuleLog log;
    try {
        // The facts are the patterns' and the header's: the samples are not read (nor
        // decoded, as an MO3's Vorbis ones would be).
        const std::map<std::string, std::string> withoutSamples = {{"load.skip_samples", "1"}};
        openmpt::module module(data.data(), data.size(), log.Stream(), withoutSamples);
        facts.fileBytes = data.size();
        CopyText(facts.format, module.get_metadata("type_long"));
        CopyText(facts.tracker, module.get_metadata("tracker"));
        int32_t count = std::max<int32_t>(module.get_num_subsongs(), 1);
        facts.subsongs = static_cast<uint32_t>(count);
        module.select_subsong(-1); // all of them, in turn
        facts.durationMs = Milliseconds(module.get_duration_seconds());
        for (int32_t i = 0; i < count && uint32_t(i) < maxSubsongs; ++i) {
            module.select_subsong(i);
            subsongs[i].startOrder = static_cast<uint32_t>(std::max(module.get_current_order(), 0));
            subsongs[i].durationMs = Milliseconds(module.get_duration_seconds());
        }
    } catch (...) {
        return TESSEL_FILE_NOT_MODULE;
    }
    return TESSEL_FILE_OK;
}

} // namespace

extern "C" int TesselBass_DescribeFile(const char *path, TesselBassFileFacts *facts, TesselBassSubsong *subsongs,
                                       uint32_t maxSubsongs)
{
    if (path == nullptr || facts == nullptr)
        return TESSEL_FILE_BAD_CALL;
    *facts = TesselBassFileFacts{};
    if (subsongs == nullptr)
        maxSubsongs = 0;
    int result = TESSEL_FILE_NOT_MODULE;
    try {
        result = Describe(path, *facts, subsongs, maxSubsongs);
    } catch (...) {
        // Out of memory while reading: as a file that cannot be taken.
    }
    if (result != TESSEL_FILE_OK)
        *facts = TesselBassFileFacts{};
    return result;
}
