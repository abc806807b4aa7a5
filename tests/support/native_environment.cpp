// Native test programs keep their settings in a folder of their own, never in the
// user's ~/.config/tessel.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct PrivateConfigHome {
    PrivateConfigHome()
    {
        const char *temp = getenv("TMPDIR");
        std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/tessel-config-XXXXXX";
        if (char *made = mkdtemp(pattern.data()))
            setenv("XDG_CONFIG_HOME", made, 1);
        else
            perror("tessel tests: cannot make a private config folder");
    }
} privateConfigHome;

} // namespace
