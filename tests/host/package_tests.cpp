// The Debian package: made by CPack from the build, unpacked into an empty folder, its
// binaries stripped, and its tessel plays the demo module with nothing from the build
// tree.
#include "host_support.h"

namespace hosttest {
namespace {

class Package : public HostTest {
protected:
    // Runs a shell command in the test's folder; its output, and its status in status.
    std::string Shell(const std::string &command, int &status)
    {
        RunResult result = RunShell("(" + command + ") 2>&1", std::chrono::minutes(10));
        status = result.status;
        return result.out;
    }
};

TEST_F(Package, UnpackedItIsStrippedAndPlaysTheDemoWithNothingFromTheBuildTree)
{
    int status = 0;
    std::string made = Shell("cpack --config '" BUILD_DIR "/CPackConfig.cmake' -B packages", status);
    ASSERT_EQ(0, status) << made;
    std::string deb = Path("packages/tessel_" TESSEL_VERSION "_") + Shell("dpkg --print-architecture", status);
    deb.pop_back(); // the line end
    deb += ".deb";
    ASSERT_TRUE(Exists(deb)) << deb << " was not made:\n" << made;

    std::string control = Shell("dpkg-deb -f '" + deb + "' Depends", status);
    for (const char *library : {"libc6", "libopenmpt0", "libportaudio2", "libncursesw6"})
        EXPECT_NE(std::string::npos, control.find(library)) << library << " is not in Depends: " << control;

    std::string unpacked = Shell("mkdir root && dpkg-deb -x '" + deb + "' root", status);
    ASSERT_EQ(0, status) << unpacked;
    for (const char *file : {"usr/bin/tessel", "usr/lib/tessel/in_tessel.so", "usr/share/man/man1/tessel.1.gz",
                             "usr/share/doc/tessel/copyright", "usr/share/doc/tessel/examples/demo.xm"})
        EXPECT_TRUE(Exists(Path("root/") + file)) << file << " is not in the package";

    // Stripped: no debug sections, and no links to a debug package.
    EXPECT_FALSE(Exists(Path("root/usr/lib/debug"))) << "the package carries debug files";
    for (const char *binary : {"usr/bin/tessel", "usr/lib/tessel/in_tessel.so", "usr/lib/tessel/libtessel_platform.so",
                               "usr/lib/tessel/libtessel_bass.so"}) {
        std::string sections = Shell(std::string("readelf -S --wide root/") + binary, status);
        ASSERT_EQ(0, status) << sections;
        for (const char *debug : {".debug_", ".gnu_debuglink", ".symtab"})
            EXPECT_EQ(std::string::npos, sections.find(debug)) << binary << " has " << debug << " sections";
    }

    // A bare environment: no TESSEL_PLUGIN, no library path; the loader says where
    // every library and the plug-in came from.
    std::string played = Shell("env -i PATH=/usr/bin:/bin XDG_CONFIG_HOME=config LD_DEBUG=libs root/usr/bin/tessel "
                               "-o demo.wav root/usr/share/doc/tessel/examples/demo.xm",
                               status);
    EXPECT_EQ(0, status) << played;
    EXPECT_NE(std::string::npos, played.find("root/usr/bin/../lib/tessel/in_tessel.so")) << played;
    EXPECT_EQ(std::string::npos, played.find(BUILD_DIR)) << "something came from the build tree:\n" << played;
    EXPECT_GT(ReadFile(Path("demo.wav")).size(), 44100u * 4 * 30) << "half a minute of sound at least";
}

} // namespace
} // namespace hosttest
