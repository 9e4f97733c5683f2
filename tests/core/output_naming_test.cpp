// Output names: default name, extension, clean-up and the free name.
#include <gtest/gtest.h>

#include <set>

#include "core/output_naming.h"

using namespace ulvane;

TEST(OutputNaming, DefaultNameAndExtensionFromTheSource) {
    EXPECT_EQ(DefaultOutputName("/videos/clip.mp4"), "clip");
    EXPECT_EQ(DefaultOutputName("C:\\videos\\my.clip.rmvb"), "my.clip");
    EXPECT_EQ(DefaultOutputName("/videos/clip"), "");
    EXPECT_EQ(DefaultOutputName("/vid.eos/clip"), "");  // a dot in a folder name does not count
    EXPECT_EQ(SourceExtension("/videos/clip.rmvb"), ".rmvb");
    EXPECT_EQ(SourceExtension("/vid.eos/clip"), "");
}

TEST(OutputNaming, CleanUpDropsCharactersNoFileNameCanHold) {
    EXPECT_EQ(CleanFileName("a:b*c?"), "abc");
    EXPECT_EQ(CleanFileName("../../etc/passwd"), "....etcpasswd");
    EXPECT_EQ(CleanFileName("x\\y<z>|\"q\n"), "xyzq");
    EXPECT_EQ(CleanFileName("été 2026"), "été 2026");
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
