#include "util/output.h"

#include "util/signals.h"
#include "util/standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tessel::host {
namespace {

int firstError = 0; // errno of the first failed write

void Failed()
{
    if (!firstError)
        firstError = errno ? errno : EIO;
}

} // namespace

bool Print(const char *format, ...)
{
    if (firstError)
        return false;
    std::va_list arguments;
    va_start(arguments, format);
    int written = std::vprintf(format, arguments);
    va_end(arguments);
    if (written < 0 || std::ferror(stdout))
        Failed();
    return !firstError;
}

bool Flush()
{
    if (!firstError && (std::fflush(stdout) != 0 || std::ferror(stdout)))
        Failed();
    return !firstError;
}

bool OutputFailed()
{
    return firstError != 0;
}

int FinishOutput(int status)
{
    Flush();
    if (!firstError)
        return status;
    if (StandardStreamClosed(STDOUT_FILENO))
        std::fprintf(stderr, "tessel: cannot write the output: standard output is closed\n");
    else if (!PendingSignal())
        std::fprintf(stderr, "tessel: cannot write the output: %s\n", std::strerror(firstError));
    return 1;
}

} // namespace tessel::host
