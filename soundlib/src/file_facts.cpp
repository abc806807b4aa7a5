// TesselBass_DescribeFile: a module file's facts straight from libopenmpt, on a module
// of its own, so a host can ask about any file while another plays.
#include "module_file.h"
#include "quiet.h"

#include "tessel_bass.h"

#include <libopenmpt/libopenmpt.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// Beyond this a duration is no pass of a song but libopenmpt's guess gone wrong.
constexpr double kMaxSeconds = 4e6;

uint32_t Milliseconds(double seconds)
{
    return seconds > 0 && seconds < kMaxSeconds ? static_cast<uint32_t>(seconds * 1000 + 0.5) : 0;
}

void CopyText(char (&field)[TESSEL_FILE_TEXT], const std::string &text)
{
    size_t length = std::min(text.size(), sizeof field - 1);
    // Never half a UTF-8 sequence at the cut.
    while (length < text.size() && length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
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
