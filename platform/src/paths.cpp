#include <tessel/paths.h>

#include <limits.h>
#include <unistd.h>

namespace {
// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;
} // namespace

std::string tessel::platform::DirectoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string tessel::platform::FollowLinks(std::string path)
{
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length < 0 || size_t(length) >= sizeof target)
            break;
        std::string link(target, size_t(length));
        path = link[0] == '/' ? link : DirectoryOf(path) + "/" + link;
    }
    return path;
}
