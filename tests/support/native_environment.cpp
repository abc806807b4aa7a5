// Native test programs keep their settings in a folder of their own, never in the
// user's ~/.config/tessel, and remove it when they end. Compiled into each test
// program (an interface source of the support library), so it is always linked in.
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

struct PrivateConfigHome {
    PrivateConfigHome()
    {
        try {
            folder = std::make_unique<testkit::TempFolder>("tessel-config");
        } catch (const std::exception &error) {
            fprintf(stderr, "tessel tests: cannot make a private config folder: %s\n", error.what());
            abort();
        }
        setenv("XDG_CONFIG_HOME", folder->Path().c_str(), 1);
    }
    std::unique_ptr<testkit::TempFolder> folder;
} privateConfigHome;

} // namespace
