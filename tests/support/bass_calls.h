// The test double's call log, copied into this program's own types.
#pragma once

#include "tests/double/bass_double.h"

#include <string>
#include <vector>

struct BassCall {
    std::string name;
    long long args[BASS_DOUBLE_ARGS];
    std::string text;
};

std::vector<BassCall> BassCalls();
// The names in call order, skipping the monitor thread's activity polls.
std::vector<std::string> BassCallNames();
// The last call of that name; fails the test (name empty) when there is none.
BassCall LastBassCall(const std::string &name);
