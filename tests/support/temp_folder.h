// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes. For every test that writes files, natively and under Wine.
#pragma once

#include <string>

namespace testkit {

class TempFolder {
public:
    // The folder's name starts with prefix; throws std::runtime_error when none can be made.
    explicit TempFolder(const std::string &prefix = "tessel-test");
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &Path() const { return path_; }
    // The system's separator between folder and file: '/' or '\\'.
    char Separator() const { return separator_; }
    // The folder, the separator, and name.
    std::string File(const std::string &name) const { return path_ + separator_ + name; }

private:
    std::string path_;
    char separator_;
};

} // namespace testkit
