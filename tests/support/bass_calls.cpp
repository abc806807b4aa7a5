#include "tests/support/bass_calls.h"

std::vector<BassCall> BassCalls()
{
    std::vector<BassCall> calls;
    BassDoubleCall call;
    for (int i = 0; BassDouble_GetCall(i, &call); ++i) {
        BassCall copy{call.name, {}, call.text};
        for (int a = 0; a < BASS_DOUBLE_ARGS; ++a)
            copy.args[a] = call.args[a];
        calls.push_back(copy);
    }
    return calls;
}

std::vector<std::string> BassCallNames()
{
    std::vector<std::string> names;
    for (const BassCall &call : BassCalls())
        if (call.name != "BASS_ChannelIsActive")
            names.push_back(call.name);
    return names;
}

BassCall LastBassCall(const std::string &name)
{
    BassCall last{};
    for (const BassCall &call : BassCalls())
        if (call.name == name)
            last = call;
    return last;
}
