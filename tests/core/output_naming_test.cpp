// Output names: default name, extension, clean-up and the free name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "core/output_naming.h"
#include "engine/atomic_file.h"
#include "tests/support/media_tools.h"

using namespace ulvane;

TEST(OutputNaming, DefaultNameAndExtensionFromTheSource) {
    EXPECT_EQ(DefaultOutputName("/videos/clip.mp4"), "clip");
    EXPECT_EQ(DefaultOutputName("C:\\videos\\my.clip.rmvb"), "my.clip");
    EXPECT_EQ(DefaultOutputName("/videos/clip"), "");
    EXPECT_EQ(DefaultOutputName("/vid.eos/clip"), "");  // a dot in a folder name does not count
    EXPECT_EQ(SourceExtension("/videos/clip.rmvb"), ".rmvb");
    EXPECT_EQ(SourceExtension("/vid.eos/clip"), "");
}

TEST(OutputNaming, CleanUpDropsCharactersNoFileNameCanHoldAndNeverHidesTheFile) {
    EXPECT_EQ(CleanFileName("a:b*c?"), "abc");
    EXPECT_EQ(CleanFileName("../../etc/passwd"), "etcpasswd");
    EXPECT_EQ(CleanFileName("x\\y<z>|\"q\n"), "xyzq");
    EXPECT_EQ(CleanFileName("été 2026"), "été 2026");
    EXPECT_EQ(CleanFileName(".."), "");
    EXPECT_EQ(CleanFileName(".hidden.take"), "hidden.take");
    EXPECT_EQ(CleanFileName("a..b."), "a..b.");
}

TEST(OutputNaming, ANameTypedWithItsExtensionKeepsOne) {
    EXPECT_EQ(NameWithoutExtension("myclip.mp4", ".mp4"), "myclip");
    EXPECT_EQ(NameWithoutExtension("myclip.MP4", ".mp4"), "myclip");
    EXPECT_EQ(NameWithoutExtension("myclip.mkv", ".mp4"), "myclip.mkv");
    EXPECT_EQ(NameWithoutExtension("mp4", ".mp4"), "mp4");
    EXPECT_EQ(NameWithoutExtension("myclip.mp4", ""), "myclip.mp4");
}

TEST(OutputNaming, FreeNameNeverReplacesAnExistingFile) {
    std::set<std::string> taken;
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    EXPECT_EQ(FreeOutputPath("/out", "clip", ".mp4", exists), "/out/clip.mp4");
    taken = {"/out/clip.mp4", "/out/clip(0).mp4"};
    EXPECT_EQ(FreeOutputPath("/out/", "clip", ".mp4", exists), "/out/clip(1).mp4");
    // A name made only of removed characters is named by its extension alone.
    EXPECT_EQ(FreeOutputPath("/out", "", ".mp4", exists), "/out/.mp4");
    taken = {"/out/.mp4"};
    EXPECT_EQ(FreeOutputPath("/out", "", ".mp4", exists), "/out/(0).mp4");
    // Without an extension the number goes at the end, not into a folder's name.
    taken = {"/o.ut/clip"};
    EXPECT_EQ(FreeOutputPath("/o.ut", "clip", "", exists), "/o.ut/clip(0)");
}

TEST(OutputNaming, TheLongestNameAcceptedCanBeWrittenNumberedAndAsAPartFile) {
    // Measured on the file system itself: the longest name the check lets through must still
    // fit there with its extension, a "(n)" number and the part suffix it is written under.
    ulvane::test::TempDir dir;
    const std::string folder = dir.path().string();
    size_t longest = 0;
    while (longest < 4096 && NameFitsFolder(folder, std::string(longest + 1, 'n'), ".webm")) ++longest;
    ASSERT_GT(longest, 100u);
    ASSERT_LT(longest, 4096u);
    const std::string numbered = NumberedPath(folder + "/" + std::string(longest, 'n') + ".webm", 9999);
    for (const std::string& path : {numbered, numbered + ".999.part"}) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        if (fd >= 0) ::close(fd);
    }
}
