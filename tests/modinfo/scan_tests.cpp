// The scan: which reader the extension picks, and the record after every outcome.
#include "tests/modinfo/scan_test.h"

using modwriter::Bytes;

namespace {

// A MOD, an S3M, an XM and an IT that each say which reader read them: 8, 5, 12 and 3
// channels.
Bytes OctaMod()
{
    modwriter::ModFile mod;
    mod.tag = "OCTA";
    return modwriter::BuildMod(mod);
}

Bytes FiveChannelS3m()
{
    modwriter::S3mFile s3m;
    s3m.channelSettings.fill(255);
    for (int c = 0; c < 5; c++)
        s3m.channelSettings[c] = static_cast<uint8_t>(c);
    return modwriter::BuildS3m(s3m);
}

Bytes TwelveChannelXm()
{
    modwriter::XmFile xm;
    xm.channels = 12;
    return modwriter::BuildXm(xm);
}

Bytes ThreeChannelIt()
{
    modwriter::ItFile it;
    it.panTable = modwriter::ItPanTable(3);
    it.message = "hi";
    return modwriter::BuildIt(it);
}

// Whether some handle still holds path: Win32 refuses an unshared open then (Wine
// shows it; platform/ does not model sharing, so there it always opens).
bool OpensUnshared(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// A file in the working folder, for paths of three and four characters.
class WorkingFolderFile {
public:
    WorkingFolderFile(const std::string &name, const Bytes &bytes) : name(name) { fixtures::WriteBytes(name, bytes); }
    ~WorkingFolderFile() { DeleteFileA(name.c_str()); }
    const std::string name;
};

} // namespace

TEST_F(ScanTest, ExtensionPicksTheReaderWhateverItsCase)
{
    std::string music = folder.MakeFolder("Music");
    EXPECT_EQ(0, ScanModuleInfo(folder.WriteAt(music + folder.Separator() + "SONG.MOD", OctaMod()).c_str()));
    EXPECT_EQ(8, moduleInfo.channels) << "SONG.MOD goes to the MOD reader";
    EXPECT_EQ(0, Scan("tune.S3M", FiveChannelS3m()));
    EXPECT_EQ(5, moduleInfo.channels) << "tune.S3M goes to the S3M reader";
    EXPECT_EQ(0, Scan("song.Xm", TwelveChannelXm()));
    EXPECT_EQ(12, moduleInfo.channels) << "song.Xm goes to the XM reader";
    EXPECT_EQ(0, Scan("v1.2.song.Xm", TwelveChannelXm()));
    EXPECT_EQ(12, moduleInfo.channels) << "the last \".\" starts the extension";
    EXPECT_EQ(0, Scan("song.iT", ThreeChannelIt()));
    EXPECT_EQ(3, moduleInfo.channels) << "song.iT goes to the IT reader";
    EXPECT_EQ(Lines({"hi"}), Message());
}

TEST_F(ScanTest, ExtensionWithoutReaderFailsWithTheDefaults)
{
    // Each scan follows one that filled the record, so the defaults are the reset's.
    const char *names[] = {"song.mo3", "song.", "song.mod.bak", "song.xmx", "song.m", "song"};
    for (const char *name : names) {
        ASSERT_EQ(0, Scan("filled.xm", TwelveChannelXm()));
        EXPECT_EQ(1, Scan(name, OctaMod())) << name;
        EXPECT_TRUE(AtDefaults()) << name;
    }
}

TEST_F(ScanTest, DotInADirectoryNameIsTheExtensionStart)
{
    // dir.old<sep>song has the extension "old<sep>song": no reader.
    std::string directory = folder.MakeFolder("dir.old");
    EXPECT_EQ(1, ScanModuleInfo(folder.WriteAt(directory + folder.Separator() + "song", OctaMod()).c_str()));
    EXPECT_TRUE(AtDefaults());
    // A directory named like a module does not make its files modules.
    std::string xmDirectory = folder.MakeFolder("set.xm");
    ASSERT_EQ(0, Scan("filled.xm", TwelveChannelXm()));
    EXPECT_EQ(1, ScanModuleInfo(folder.WriteAt(xmDirectory + folder.Separator() + "song", TwelveChannelXm()).c_str()));
    EXPECT_TRUE(AtDefaults());
}

TEST_F(ScanTest, PathsShorterThanFourCharactersAreRefused)
{
    WorkingFolderFile three(".it", ThreeChannelIt());
    WorkingFolderFile four("a.it", ThreeChannelIt());
    EXPECT_EQ(1, ScanModuleInfo(".it")) << "three characters, though the extension is it";
    EXPECT_TRUE(AtDefaults());
    EXPECT_EQ(0, ScanModuleInfo("a.it"));
    EXPECT_EQ(3, moduleInfo.channels);
}

TEST_F(ScanTest, MissingFileLeavesTheDefaultsNotThePreviousFile)
{
    ASSERT_EQ(0, Scan("song.it", ThreeChannelIt()));
    EXPECT_EQ(1, ScanModuleInfo(folder.File("missing.it").c_str()));
    EXPECT_TRUE(AtDefaults());
    EXPECT_EQ(1, ScanModuleInfo(""));
    EXPECT_TRUE(AtDefaults());
    EXPECT_EQ(1, ScanModuleInfo(nullptr));
    EXPECT_TRUE(AtDefaults());
}

TEST_F(ScanTest, FileIsClosedOnEveryPath)
{
    std::string cases[] = {
        folder.Write("good.it", ThreeChannelIt()), folder.Write("short.mod", Bytes(100, 0)), // the MOD reader fails
        folder.Write("song.mo3", OctaMod()),                                                 // no reader
        folder.Write("song", OctaMod()),                                                     // no extension
    };
    for (const std::string &path : cases) {
        ScanModuleInfo(path.c_str());
        EXPECT_TRUE(OpensUnshared(path)) << path << " is still open after the scan";
    }
}

// Native only: Win32 paths end at 259 characters.
#ifndef _WIN32
TEST_F(ScanTest, LongPosixPathsScanAndOverlongExtensionsMatchNothing)
{
    // A path of well over 259 characters that ends in a module's name.
    std::string deep;
    for (int level = 0; deep.size() < 400; level++)
        deep = folder.MakeFolder((level ? deep.substr(folder.Path().size() + 1) + "/" : "") + std::string(60, 'd'));
    std::string song = folder.WriteAt(deep + "/song.xm", TwelveChannelXm());
    ASSERT_GT(song.size(), 300u);
    EXPECT_EQ(0, ScanModuleInfo(song.c_str()));
    EXPECT_EQ(12, moduleInfo.channels);

    // The extension runs from a "." in a directory to the end: longer than any
    // extension buffer, and it matches nothing.
    std::string dotted = "x." + std::string(200, 'e');
    folder.MakeFolder(dotted);
    std::string inner = folder.MakeFolder(dotted + "/" + std::string(200, 'f'));
    std::string file = folder.WriteAt(inner + "/it", ThreeChannelIt());
    EXPECT_EQ(1, ScanModuleInfo(file.c_str()));
    EXPECT_TRUE(AtDefaults());
}
#endif
