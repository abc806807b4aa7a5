// Native test programs keep their settings in a folder of their own, never in the
// user's ~/.config/tessel, and remove it when they end. Compiled into each test
// program (an interface source of the support library), so it is always linked in.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct PrivateConfigHome {
    PrivateConfigHome()
    {
        const char *temp = getenv("TMPDIR");
        std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/tessel-config-XXXXXX";
        if (char *made = mkdtemp(pattern.data())) {
            folder = made;
            setenv("XDG_CONFIG_HOME", made, 1);
        } else {
            perror("tessel tests: cannot make a private config folder");
            abort();
        }
    }
    ~PrivateConfigHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
} privateConfigHome;

} // namespace
