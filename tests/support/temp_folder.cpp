#include "tests/support/temp_folder.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testkit {

TempFolder::TempFolder(const std::string &prefix) : separator_(char(std::filesystem::path::preferred_separator))
{
    // A name nobody has taken: create_directory reports one that exists.
    std::random_device seed;
    std::mt19937 random(seed());
    std::error_code error;
    std::filesystem::path root = std::filesystem::temp_directory_path(error);
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        std::filesystem::path path = root / (prefix + "-" + std::to_string(random()));
        if (std::filesystem::create_directory(path, error)) {
            path_ = path.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder under " + root.string() + ": " + error.message());
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace testkit
