// MO3's lossless sample packing: each value is coded by its difference from the one
// before (delta) or from a prediction made of the two before (prediction), in a bit
// code whose length follows the size of the recent differences. Bits are read most
// significant first, eight to a byte.
#include "mo3_writer.h"

#include <algorithm>

namespace modwriter {

namespace {
class BitWriter {
public:
    void Put(uint32_t bit)
    {
        if (used_ == 0)
            bytes_.push_back(0);
        if (bit)
            bytes_.back() = static_cast<uint8_t>(bytes_.back() | 0x80 >> used_);
        used_ = (used_ + 1) % 8;
    }
    void PutBits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            Put(value >> i & 1);
    }
    Bytes Take() { return std::move(bytes_); }

private:
    Bytes bytes_;
    int used_ = 0;
};

struct Width {
    int bits;
    int topBit;      // the highest bit a code can have
    int lowBitsInit; // the low bits of the first code
};
const Width kWidth8{8, 7, 4}, kWidth16{16, 15, 8};

// The difference as the reader's sample type holds it: wrapped into its signed range.
int Wrapped(int value, const Width &width)
{
    int range = 1 << width.bits, half = range / 2;
    return ((value + half) % range + range) % range - half;
}

// Sign in the lowest bit (1: not negative); a negative d is stored as -d - 1.
uint32_t SignedCode(int delta)
{
    return delta >= 0 ? uint32_t(delta) << 1 | 1 : uint32_t(-delta - 1) << 1;
}

// A code is its bits above the lowBits low ones, in groups each followed by a bit
// that says whether another group follows (two bits to a group for 16-bit values
// while lowBits < 5, else one), then the lowBits low bits. The next code's lowBits
// is the mean of this one's and the position of this code's highest bit.
void PutCode(BitWriter &out, uint32_t code, int &lowBits, const Width &width)
{
    uint32_t high = code >> lowBits;
    int group = width.bits == 16 && lowBits < 5 ? 2 : 1;
    int length = 0;
    while (length < 32 && high >> length)
        length++;
    length = (std::max(length, 1) + group - 1) / group * group;
    for (int at = length; at > 0; at -= group) {
        out.PutBits(high >> (at - group) & ((1u << group) - 1), group);
        out.Put(at > group);
    }
    out.PutBits(code & ((1u << lowBits) - 1), lowBits);
    int topBit = 1;
    if (code >= 4)
        for (topBit = width.topBit; !(code >> topBit & 1) && topBit > 1; topBit--) {
        }
    lowBits = (lowBits + topBit) >> 1;
}
} // namespace

Bytes PackLossless(const std::vector<int> &values, bool sixteenBit, bool predict)
{
    const Width &width = sixteenBit ? kWidth16 : kWidth8;
    const int lowest = -(1 << (width.bits - 1)), highest = (1 << (width.bits - 1)) - 1;
    BitWriter out;
    int lowBits = width.lowBitsInit, previous = 0, next = 0;
    for (int value : values) {
        int delta = Wrapped(value - (predict ? next : previous), width);
        PutCode(out, SignedCode(delta), lowBits, width);
        if (predict) // twice the last value less the one before, corrected by half the miss
            next = std::clamp(value * 2 + (delta >> 1) - previous, lowest, highest);
        previous = value;
    }
    return out.Take();
}

} // namespace modwriter
