#include "output_choice.h"

#include "tessel_bass.h"

#include <cctype>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace tessel::sound {
namespace {

bool SameWord(const std::string &text, const char *word)
{
    if (text.size() != std::strlen(word))
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i])
            return false;
    return true;
}

#ifdef _WIN32
// From the process's environment block, not the C runtime's copy of it made at
// start-up: a host may set the variable between two Play calls.
std::optional<std::string> ReadVariable(const char *name)
{
    std::string value(256, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableA(name, value.data(), DWORD(value.size()));
        if (length == 0)
            return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length); // the size needed, terminator included
    }
}
#else
std::optional<std::string> ReadVariable(const char *name)
{
    const char *value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}
#endif

} // namespace

std::optional<OutputChoice> ParseOutputSetting(const char *value)
{
    OutputChoice choice;
    choice.kind = TESSEL_OUTPUT_DEVICE;
    if (value == nullptr)
        return choice;
    std::string text = value;
    size_t colon = text.find(':');
    if (colon != std::string::npos && SameWord(text.substr(0, colon), "wav")) {
        choice.kind = TESSEL_OUTPUT_WAV;
        choice.wavPath = text.substr(colon + 1);
        if (choice.wavPath.empty())
            return std::nullopt;
        return choice;
    }
    if (text.empty() || SameWord(text, "device"))
        return choice;
    if (SameWord(text, "null")) {
        choice.kind = TESSEL_OUTPUT_NULL;
        return choice;
    }
    return std::nullopt;
}

std::optional<OutputChoice> OutputFromEnvironment()
{
    std::optional<std::string> value = ReadVariable("TESSEL_OUTPUT");
    return ParseOutputSetting(value ? value->c_str() : nullptr);
}

} // namespace tessel::sound
