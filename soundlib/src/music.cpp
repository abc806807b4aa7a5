#include "music.h"

#include "bass.h"
#include "mo3_sample_data.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tessel::sound {
namespace {

// libopenmpt's volume ramping strength for BASS's ramping choices: none, "sensitive"
// (short ramps that leave sharp attacks sharp: libopenmpt's own default) and "normal"
// (longer, softer ramps of a few milliseconds).
constexpr int32_t kRampNone = 0;
constexpr int32_t kRampSensitive = -1;
constexpr int32_t kRampNormal = 5;

// Linear interpolation, as FastTracker II mixes.
constexpr int32_t kInterpolationLinear = 2;

// libopenmpt's order-list markers: "+++" (skip) and "---" (end of song).
constexpr int32_t kOrderSkip = 0xFFFE;
constexpr int32_t kOrderEnd = 0xFFFF;

// The "MOD replay" flags concern the ProTracker family of formats only.
bool IsProTrackerFamily(const std::string &type)
{
    static const char *const kTypes[] = {"mod", "m15", "stk", "st26", "pt36", "nst", "wow", "ice"};
    return std::any_of(std::begin(kTypes), std::end(kTypes), [&](const char *t) { return type == t; });
}

// Where the four main formats keep the song name: the plug-in's texts are the file's
// own 8-bit bytes, as its header readers show them, not libopenmpt's UTF-8 rendering of
// them (CP437 for some formats, Latin-1 for others).
struct NameField {
    const char *type;
    size_t offset;
    size_t length;
    const char *signature; // where the format has one, to be sure of the layout
    size_t signatureAt;
};
constexpr NameField kNameFields[] = {{"mod", 0, 20, "", 0},
                                     {"s3m", 0, 28, "SCRM", 44},
                                     {"xm", 17, 20, "Extended Module: ", 0},
                                     {"it", 4, 26, "IMPM", 0}};

std::string ModuleName(const openmpt::module &module, const uint8_t *data, size_t size)
{
    std::string type = module.get_metadata("type");
    // Inside a container (MMCMP, XPK, UMX, ...) or converted (MO3) the bytes are not
    // the module's own.
    bool plain = module.get_metadata("container").empty() && module.get_metadata("originaltype").empty();
    for (const NameField &field : kNameFields) {
        size_t signatureLength = std::strlen(field.signature);
        if (!plain || type != field.type || size < field.offset + field.length ||
            size < field.signatureAt + signatureLength ||
            std::memcmp(data + field.signatureAt, field.signature, signatureLength) != 0)
            continue;
        const char *text = reinterpret_cast<const char *>(data) + field.offset;
        std::string name(text, strnlen(text, field.length));
        name.erase(name.find_last_not_of(' ') + 1);
        return name;
    }
    return Utf8ToWindows1252(module.get_metadata("title"));
}

void ApplyLoadFlags(openmpt::module &module, uint32_t flags)
{
    module.set_repeat_count((flags & BASS_MUSIC_LOOP) ? -1 : 0);
    // "Normal" wins over "Sensitive", as in the configuration dialog.
    int32_t ramp = (flags & BASS_MUSIC_RAMP) ? kRampNormal : (flags & BASS_MUSIC_RAMPS) ? kRampSensitive : kRampNone;
    module.set_render_param(openmpt::module::RENDER_VOLUMERAMPING_STRENGTH, ramp);
    if (!IsProTrackerFamily(module.get_metadata("type")))
        return;
    // "ProTracker I" wins over "FastTracker II", as in the configuration dialog.
    if (flags & BASS_MUSIC_PT1MOD) {
        module.ctl_set_boolean("render.resampler.emulate_amiga", true);
        module.ctl_set_text("render.resampler.emulate_amiga_type", "a500");
    } else if (flags & BASS_MUSIC_FT2MOD) {
        module.ctl_set_boolean("render.resampler.emulate_amiga", false);
        module.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, kInterpolationLinear);
    }
}

} // namespace

void Music::WarmUp()
{
    // libopenmpt builds its tables (the resampler's among them) with its first module,
    // whether the data loads or not: a module of nothing will do.
    static std::once_flag warmed;
    std::call_once(warmed, [] {
        static const char nothing[1084] = {};
        ModuleLog log;
        try {
            openmpt::module module(nothing, sizeof nothing, log.Stream());
        } catch (...) {
        }
    });
}

std::unique_ptr<Music> Music::Load(const void *data, size_t size, uint32_t flags, uint32_t rate)
{
    std::unique_ptr<Music> music(new Music());
    try {
        if (Mo3SampleDataBroken(static_cast<const uint8_t *>(data), size))
            return nullptr;
        music->module_ = std::make_unique<openmpt::module>(data, size, music->log_.Stream());
        openmpt::module &module = *music->module_;
        // Samples that no decoder can read (an OggMod XM with a broken stream, an MO3
        // MP3 sample cut short) would play as silence: such a music is refused
        // instead. libopenmpt only logs it.
        if (module.get_metadata("warnings").find("unsupported codec") != std::string::npos)
            return nullptr;
        ApplyLoadFlags(module, flags);
        // A song that ends fades out briefly instead of cutting a ringing note.
        module.ctl_set_text("play.at_end", "fadeout");
        // Plain rounding: a restarted music sounds exactly as before, and libopenmpt's
        // 16-bit samples equal our own conversion of its float ones.
        module.ctl_set_integer("dither", 0);
        music->name_ = ModuleName(module, static_cast<const uint8_t *>(data), size);
        // Every order of the list, past end markers too: later subsongs start there.
        // The song itself, as the length tells it, ends at the first end marker.
        int32_t orders = module.get_num_orders();
        bool inSong = true;
        for (int32_t i = 0; i < orders; ++i) {
            int32_t pattern = module.get_order_pattern(i);
            bool marker = pattern == kOrderSkip || pattern == kOrderEnd;
            inSong = inSong && pattern != kOrderEnd;
            music->orderCount_ += inSong ? 1 : 0;
            // Past it only real patterns are reached: libopenmpt, moved onto a skip
            // entry there, ends the song at once.
            bool reachable = inSong || !marker;
            int32_t rows = marker ? 0 : module.get_pattern_num_rows(pattern);
            music->orders_.push_back(OrderEntry{reachable, uint32_t(std::max(rows, 0))});
        }
        double seconds = module.get_duration_seconds();
        music->lengthSeconds_ = seconds > 0 && seconds < 4e6 ? seconds : 0;
        music->lengthMs_ = static_cast<uint32_t>(music->lengthSeconds_ * 1000 + 0.5);
        music->format_ = module.get_metadata("type_long");
        music->tracker_ = module.get_metadata("tracker");
        music->subsongs_ = std::max<int32_t>(module.get_num_subsongs(), 1);
        music->firstOrder_ = static_cast<uint32_t>(std::max(module.get_current_order(), 0));
        music->bytes_ = size;
    } catch (...) {
        return nullptr;
    }
    music->rate_ = rate;
    music->mono_ = (flags & BASS_MUSIC_MONO) != 0;
    music->loops_ = (flags & BASS_MUSIC_LOOP) != 0;
    music->render.entered.assign(music->orders_.size(), false);
    return music;
}

bool Music::ValidOrder(uint32_t order) const
{
    return order < orders_.size() && orders_[order].reachable;
}

bool Music::ValidStart(uint32_t order, uint32_t row) const
{
    if (order == 0 && row == 0)
        return true;
    return ValidOrder(order) && (row == 0 || row < orders_[order].rows);
}

uint32_t Music::Render(float *out, uint32_t frames)
{
    try {
        size_t done = mono_ ? module_->read(int32_t(rate_), frames, out)
                            : module_->read_interleaved_stereo(int32_t(rate_), frames, out);
        return static_cast<uint32_t>(done);
    } catch (...) {
        // A module that cannot go on has ended.
        return 0;
    }
}

uint32_t Music::Render16(int16_t *out, uint32_t frames, int16_t *scratch)
{
    try {
        if (!mono_)
            return static_cast<uint32_t>(module_->read_interleaved_stereo(int32_t(rate_), frames, out));
        size_t done = module_->read(int32_t(rate_), frames, scratch);
        for (size_t i = 0; i < done; ++i)
            out[2 * i] = out[2 * i + 1] = scratch[i];
        return static_cast<uint32_t>(done);
    } catch (...) {
        return 0;
    }
}

uint32_t Music::CurrentPosition() const
{
    int32_t order = module_->get_current_order();
    int32_t row = module_->get_current_row();
    return PositionWord(uint32_t(std::max(order, 0)), uint32_t(std::max(row, 0)));
}

uint32_t Music::CurrentMs() const
{
    double seconds = module_->get_position_seconds();
    return seconds > 0 && seconds < 4e6 ? static_cast<uint32_t>(seconds * 1000 + 0.5) : 0;
}

void Music::MoveTo(uint32_t order, uint32_t row)
{
    try {
        module_->set_position_order_row(int32_t(order), int32_t(row));
    } catch (...) {
    }
}

double Music::SetSpeed(double factor)
{
    // libopenmpt refuses factors above 4: the fastest it plays is what the clock follows.
    constexpr double kFastest = 4.0;
    factor = std::min(factor, kFastest);
    try {
        module_->ctl_set_floatingpoint("play.tempo_factor", factor);
        module_->ctl_set_floatingpoint("play.pitch_factor", factor);
        speed_ = factor;
    } catch (...) {
    }
    return speed_;
}

std::string Utf8ToWindows1252(const std::string &text)
{
    // Code points of Windows-1252's bytes 0x80..0x9F (0 where the byte is unassigned).
    static const uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        i += valid ? length : 1;
        char byte = '?';
        if (valid && (code < 0x80 || (code >= 0xA0 && code <= 0xFF))) {
            byte = static_cast<char>(code);
        } else if (valid) {
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] != 0 && kHigh[k] == code)
                    byte = static_cast<char>(0x80 + k);
        }
        out += byte;
    }
    return out;
}

} // namespace tessel::sound
