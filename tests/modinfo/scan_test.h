// What the scan's tests share: a folder of fixture files and the record's texts.
#pragma once

#include "modinfo/module_info.h"
#include "tests/fixtures/fixture_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ScanTest : public ::testing::Test {
protected:
    fixtures::FixtureFolder folder;

    // Writes bytes as name in the folder and scans it.
    int Scan(const std::string &name, const modwriter::Bytes &bytes)
    {
        return ScanModuleInfo(folder.Write(name, bytes).c_str());
    }
};

// Each line followed by CR LF, as the record's texts end every line.
inline std::string Lines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\r\n";
    return text;
}

inline std::string SampleText()
{
    return moduleInfo.sampleText;
}

inline std::string Message()
{
    return moduleInfo.message;
}

// The record as the scan's reset leaves it.
inline ::testing::AssertionResult AtDefaults()
{
    if (moduleInfo.channels == 0 && SampleText() == "no sampletext available" && Message() == "no message available")
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected the defaults (0, \"no sampletext available\", \"no message "
                                            "available\"), got "
                                         << moduleInfo.channels << ", \"" << SampleText() << "\", \"" << Message()
                                         << "\"";
}
