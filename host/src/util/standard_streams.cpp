#include "util/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tessel::host {
namespace {

bool closedAtStart[3] = {};

} // namespace

void GuardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closedAtStart[fd] = true;
        // The lowest free number is this one: the earlier ones are open by now.
        int filler = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (filler >= 0 && filler != fd) {
            dup2(filler, fd);
            close(filler);
        }
    }
}

bool StandardStreamClosed(int fd)
{
    return fd >= 0 && fd <= 2 && closedAtStart[fd];
}

} // namespace tessel::host
