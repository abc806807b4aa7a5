#include "device_names.h"
#include "output.h"

#include <deque>
#include <mutex>

namespace tessel::sound {
namespace {

std::mutex descriptionLock;
std::vector<const char *> descriptions;

// The one lasting copy of text: the same text always gives the same pointer, and none
// is ever freed (a deque never moves what it holds).
const char *Pooled(const std::string &text)
{
    static std::deque<std::string> pool;
    for (const std::string &known : pool)
        if (known == text)
            return known.c_str();
    pool.push_back(text);
    return pool.back().c_str();
}

} // namespace

const char *DeviceDescription(int n)
{
    if (n < 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(descriptionLock);
    if (n == 0 || descriptions.empty()) {
        descriptions.clear();
        for (const std::string &name : ScanDeviceNames())
            descriptions.push_back(Pooled(name));
    }
    return size_t(n) < descriptions.size() ? descriptions[n] : nullptr;
}

} // namespace tessel::sound
