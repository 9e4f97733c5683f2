// Where a portable and an installed copy find their files and keep the user's.
#include "core/app_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "tests/support/media_tools.h"

using namespace ulvane;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    test::WriteFileBytes(p.string(), text);
}

struct FakeEnvironment {
    std::map<std::string, std::string> values;
    EnvironmentLookup lookup() const {
        return [this](const char* name) -> const char* {
            auto it = values.find(name);
            return it == values.end() ? nullptr : it->second.c_str();
        };
    }
};

}  // namespace

TEST(AppPaths, APortableCopyKeepsEverythingBesideTheProgram) {
    test::TempDir dir;
    const fs::path program = dir.path() / "portable";
    Write(program / "languages" / "english.ini", "[JIEMIAN]\n");
    FakeEnvironment env;
    env.values["HOME"] = (dir.path() / "home").string();
    const AppPaths p = LocateAppPaths(program.string(), env.lookup());
    EXPECT_TRUE(p.portable);
    EXPECT_EQ(p.dataDir, program.string());
    EXPECT_EQ(p.settingsFile, (program / "setting.ini").string());
    EXPECT_EQ(p.snapshotFile, (program / "image.bmp").string());
    EXPECT_FALSE(fs::exists(dir.path() / "home")) << "a portable copy writes nothing into the home folder";
}

TEST(AppPaths, AnInstalledCopyReadsShareAndKeepsTheUsersFilesInXdgFolders) {
    test::TempDir dir;
    const fs::path prefix = dir.path() / "usr";
    fs::create_directories(prefix / "bin");
    Write(prefix / "share" / "ulvane" / "languages" / "english.ini", "[JIEMIAN]\n");
    Write(prefix / "share" / "ulvane" / "setting.ini", "[LANGUAGE]\r\nfile=english.ini\r\n");
    FakeEnvironment env;
    env.values["HOME"] = (dir.path() / "home").string();
    env.values["XDG_CONFIG_HOME"] = (dir.path() / "config").string();
    env.values["XDG_CACHE_HOME"] = (dir.path() / "cache").string();

    const AppPaths p = LocateAppPaths((prefix / "bin").string(), env.lookup());
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.dataDir, (prefix / "share" / "ulvane").string());
    EXPECT_EQ(p.settingsFile, (dir.path() / "config" / "ulvane" / "setting.ini").string());
    EXPECT_EQ(p.snapshotFile, (dir.path() / "cache" / "ulvane" / "image.bmp").string());
    EXPECT_TRUE(fs::is_directory(dir.path() / "cache" / "ulvane"));
    // The first run starts from the shipped default ...
    EXPECT_EQ(test::ReadFileBytes(p.settingsFile), "[LANGUAGE]\r\nfile=english.ini\r\n");
    EXPECT_FALSE(fs::exists(prefix / "bin" / "setting.ini"));

    // ... and later runs keep the user's choices.
    Write(p.settingsFile, "[LANGUAGE]\r\nfile=german.ini\r\n");
    const AppPaths again = LocateAppPaths((prefix / "bin").string(), env.lookup());
    EXPECT_EQ(test::ReadFileBytes(again.settingsFile), "[LANGUAGE]\r\nfile=german.ini\r\n");
}

TEST(AppPaths, RelativeXdgFoldersAreIgnoredForTheHomeFolder) {
    test::TempDir dir;
    const fs::path prefix = dir.path() / "opt";
    fs::create_directories(prefix / "bin");
    Write(prefix / "share" / "ulvane" / "languages" / "english.ini", "");
    Write(prefix / "share" / "ulvane" / "setting.ini", "");
    FakeEnvironment env;
    env.values["HOME"] = (dir.path() / "home").string();
    env.values["XDG_CONFIG_HOME"] = "relative/config";
    const AppPaths p = LocateAppPaths((prefix / "bin").string(), env.lookup());
    EXPECT_EQ(p.settingsFile, (dir.path() / "home" / ".config" / "ulvane" / "setting.ini").string());
    EXPECT_EQ(p.snapshotFile, (dir.path() / "home" / ".cache" / "ulvane" / "image.bmp").string());
}

TEST(AppPaths, AReadOnlyPortableCopyKeepsItsDataButWritesToTheUsersFolders) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
    test::TempDir dir;
    const fs::path program = dir.path() / "readonly";
    Write(program / "languages" / "english.ini", "");
    Write(program / "setting.ini", "[LANGUAGE]\r\nfile=english.ini\r\n");
    fs::permissions(program, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    FakeEnvironment env;
    env.values["HOME"] = (dir.path() / "home").string();
    const AppPaths p = LocateAppPaths(program.string(), env.lookup());
    fs::permissions(program, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.dataDir, program.string());
    EXPECT_EQ(p.settingsFile, (dir.path() / "home" / ".config" / "ulvane" / "setting.ini").string());
    EXPECT_EQ(test::ReadFileBytes(p.settingsFile), "[LANGUAGE]\r\nfile=english.ini\r\n");
}

TEST(AppPaths, SegmentsAreKeptBesideAPortableCopyElseInTheUsersDataFolder) {
    struct Case {
        bool installed;
        const char* xdgDataHome;  // null: not set; an absolute one is placed in the test's folder
        const char* expected;     // below the test's folder
    };
    const Case cases[] = {
        {false, "/data", "portable/segments"},           {true, nullptr, "home/.local/share/ulvane/segments"},
        {true, "", "home/.local/share/ulvane/segments"}, {true, "relative/data", "home/.local/share/ulvane/segments"},
        {true, "/data", "data/ulvane/segments"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const fs::path program = c.installed ? dir.path() / "usr" / "bin" : dir.path() / "portable";
        const fs::path data = c.installed ? dir.path() / "usr" / "share" / "ulvane" : program;
        fs::create_directories(program);
        Write(data / "languages" / "english.ini", "");
        Write(data / "setting.ini", "");
        FakeEnvironment env;
        env.values["HOME"] = (dir.path() / "home").string();
        if (c.xdgDataHome)
            env.values["XDG_DATA_HOME"] = *c.xdgDataHome == '/' ? dir.path().string() + c.xdgDataHome : c.xdgDataHome;
        const AppPaths p = LocateAppPaths(program.string(), env.lookup());
        SCOPED_TRACE(std::string(c.expected) + " with XDG_DATA_HOME=" + (c.xdgDataHome ? c.xdgDataHome : "(unset)"));
        EXPECT_EQ(p.portable, !c.installed);
        EXPECT_EQ(p.segmentsDir, (dir.path() / c.expected).string());
        EXPECT_FALSE(fs::exists(p.segmentsDir)) << "the store makes the folder when it first saves";
    }
}
