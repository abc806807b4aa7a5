// Reads DLGTEMPLATE and DLGTEMPLATEEX resources, the layout windres and rc write:
// little-endian words, UTF-16 strings, items on 4-byte boundaries.
#include "dialog_internal.h"

#include <algorithm>

namespace tessel::platform {

namespace {

constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinalMarker = 0xFFFF;
constexpr WORD kSameFontPoints = 0x7FFF; // DS_SETFONT with the message-box font: no face name

// The classes an item names by atom.
const char *const atomClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
constexpr WORD kFirstClassAtom = 0x0080;

class Reader {
public:
    Reader(const unsigned char *data, size_t size) : data_(data), size_(size) {}

    bool Word(WORD &value)
    {
        if (size_ - offset_ < 2)
            return Fail();
        value = static_cast<WORD>(data_[offset_] | (data_[offset_ + 1] << 8));
        offset_ += 2;
        return true;
    }

    bool Dword(DWORD &value)
    {
        WORD low, high;
        if (!Word(low) || !Word(high))
            return false;
        value = low | (static_cast<DWORD>(high) << 16);
        return true;
    }

    bool Short(short &value)
    {
        WORD word;
        if (!Word(word))
            return false;
        value = static_cast<short>(word);
        return true;
    }

    // A zero-terminated UTF-16 string, as 8-bit text (characters past Latin-1 become '?').
    bool String(std::string &text)
    {
        text.clear();
        for (;;) {
            WORD unit;
            if (!Word(unit))
                return false;
            if (unit == 0)
                return true;
            text.push_back(static_cast<char>(unit < 0x100 ? unit : '?'));
        }
    }

    // An ordinal (0xFFFF, value) or a string; ordinal is 0 for a string.
    bool OrdinalOrString(WORD &ordinal, std::string &text)
    {
        WORD first;
        if (size_ - offset_ < 2)
            return Fail();
        first = static_cast<WORD>(data_[offset_] | (data_[offset_ + 1] << 8));
        if (first == kOrdinalMarker) {
            offset_ += 2;
            text.clear();
            return Word(ordinal);
        }
        ordinal = 0;
        return String(text);
    }

    bool Bytes(size_t count, std::vector<unsigned char> &bytes)
    {
        if (size_ - offset_ < count)
            return Fail();
        bytes.assign(data_ + offset_, data_ + offset_ + count);
        offset_ += count;
        return true;
    }

    void AlignDword() { offset_ = std::min(size_, (offset_ + 3) & ~static_cast<size_t>(3)); }

private:
    bool Fail()
    {
        offset_ = size_;
        return false;
    }

    const unsigned char *data_;
    size_t size_;
    size_t offset_ = 0;
};

bool ReadItem(Reader &reader, bool extended, DialogItemTemplate &item)
{
    reader.AlignDword();
    if (extended) {
        DWORD helpId;
        if (!reader.Dword(helpId) || !reader.Dword(item.exStyle) || !reader.Dword(item.style))
            return false;
    } else if (!reader.Dword(item.style) || !reader.Dword(item.exStyle)) {
        return false;
    }
    if (!reader.Short(item.x) || !reader.Short(item.y) || !reader.Short(item.cx) || !reader.Short(item.cy))
        return false;
    if (extended) {
        if (!reader.Dword(item.id))
            return false;
    } else {
        WORD id;
        if (!reader.Word(id))
            return false;
        item.id = id;
    }
    WORD classAtom;
    if (!reader.OrdinalOrString(classAtom, item.className))
        return false;
    if (classAtom) {
        WORD index = static_cast<WORD>(classAtom - kFirstClassAtom);
        if (classAtom < kFirstClassAtom || index >= sizeof atomClasses / sizeof atomClasses[0])
            return false;
        item.className = atomClasses[index];
    }
    WORD textOrdinal;
    if (!reader.OrdinalOrString(textOrdinal, item.text))
        return false; // an ordinal names an icon or bitmap: no text for our controls
    WORD extraSize;
    if (!reader.Word(extraSize))
        return false;
    return reader.Bytes(extraSize, item.creationData);
}

} // namespace

bool ParseDialogTemplate(const unsigned char *data, size_t size, DialogTemplate &parsed)
{
    if (!data)
        return false;
    Reader reader(data, size);
    WORD version, signature;
    if (!reader.Word(version) || !reader.Word(signature))
        return false;
    bool extended = version == 1 && signature == kExtendedSignature;
    if (extended) {
        DWORD helpId;
        if (!reader.Dword(helpId) || !reader.Dword(parsed.exStyle) || !reader.Dword(parsed.style))
            return false;
    } else {
        parsed.style = version | (static_cast<DWORD>(signature) << 16);
        if (!reader.Dword(parsed.exStyle))
            return false;
    }
    WORD count;
    if (!reader.Word(count) || !reader.Short(parsed.x) || !reader.Short(parsed.y) || !reader.Short(parsed.cx) ||
        !reader.Short(parsed.cy))
        return false;
    WORD menuOrdinal, classOrdinal;
    std::string menu;
    if (!reader.OrdinalOrString(menuOrdinal, menu) || !reader.OrdinalOrString(classOrdinal, parsed.className) ||
        !reader.String(parsed.caption))
        return false;
    if (classOrdinal)
        return false; // a dialog class by atom: not one we have
    if (parsed.style & DS_SETFONT) {
        WORD points;
        if (!reader.Word(points))
            return false;
        parsed.fontPoints = points;
        if (points != kSameFontPoints) {
            if (extended) {
                WORD weight, italicAndCharset;
                if (!reader.Word(weight) || !reader.Word(italicAndCharset))
                    return false;
            }
            if (!reader.String(parsed.fontName))
                return false;
        }
    }
    parsed.items.resize(count);
    for (DialogItemTemplate &item : parsed.items)
        if (!ReadItem(reader, extended, item))
            return false;
    return true;
}

} // namespace tessel::platform
