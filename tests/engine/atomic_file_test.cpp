// Replacing a file through a temporary file and a rename: the new bytes arrive whole, the
// permission bits stay, and on every failure the old file and the folder stay as they were.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/atomic_file.h"
#include "tests/support/media_tools.h"

namespace fs = std::filesystem;
using namespace ulvane;
using ulvane::test::ReadFileBytes;
using ulvane::test::TempDir;
using ulvane::test::WriteFileBytes;

namespace {

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Lowers the largest file this process may write while it lives; writes past it fail
// with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST(AtomicFile, ReplacesTheContentsAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "old contents that are longer than the new ones");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("new"), error)) << error;
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"settings.ini"});
}

TEST(AtomicFile, CreatesAMissingFileWithMode0644) {
    TempDir dir;
    const std::string path = dir / "fresh.bmp";
    const std::vector<uint8_t> bytes = {'B', 'M', 0, 1, 2, 255};
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, bytes, error)) << error;
    EXPECT_EQ(ReadFileBytes(path), std::string("BM\0\1\2\xFF", 6));
    EXPECT_EQ(Mode(path), 0644u);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"fresh.bmp"});
}

TEST(AtomicFile, KeepsThePermissionBitsOfTheFileItReplaces) {
    TempDir dir;
    const std::string path = dir / "private.ini";
    WriteFileBytes(path, "a=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("a=2\n"), error)) << error;
    EXPECT_EQ(Mode(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("a=3\n"), error)) << error;
    EXPECT_EQ(Mode(path), 0640u);
    EXPECT_EQ(ReadFileBytes(path), "a=3\n");
}

TEST(AtomicFile, WithoutKeepModeTheNewFileGets0644) {
    TempDir dir;
    const std::string path = dir / "snapshot.bmp";
    WriteFileBytes(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, std::string_view("new"), error, {.keepMode = false, .sync = false})) << error;
    EXPECT_EQ(Mode(path), 0644u);
    EXPECT_EQ(ReadFileBytes(path), "new");
}

TEST(AtomicFile, AFailedWriteKeepsTheOldFileAndRemovesTheTemporaryOne) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "old");
    std::string error;
    bool written = true;
    {
        FileSizeLimit limit(4096);
        written = WriteFileAtomically(path, std::string(64 * 1024, 'x'), error);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error.rfind("cannot write " + path + ": ", 0), 0u) << error;
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"settings.ini"});
}

TEST(AtomicFile, NoRoomForATemporaryNameKeepsTheOldFile) {
    // The longest name a folder entry may have: no temporary name fits beside it.
    TempDir dir;
    const std::string name(250, 'n');
    const std::string path = dir / name;
    WriteFileBytes(path, "old");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, std::string_view("new"), error));
    EXPECT_EQ(error.rfind("cannot write beside " + path + ": ", 0), 0u) << error;
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{name});
}

TEST(AtomicFile, AnUnwritableFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
    TempDir dir;
    const fs::path folder = dir.path() / "locked";
    fs::create_directory(folder);
    const std::string path = (folder / "settings.ini").string();
    WriteFileBytes(path, "old");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    std::string error;
    const bool written = WriteFileAtomically(path, std::string_view("new"), error);
    ::chmod(folder.c_str(), 0755);
    EXPECT_FALSE(written);
    EXPECT_EQ(error.rfind("cannot write beside " + path + ": ", 0), 0u) << error;
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"settings.ini"});
}

TEST(AtomicFile, AFailedRenameRemovesTheTemporaryFile) {
    // A folder in the way cannot be replaced by a file.
    TempDir dir;
    const fs::path target = dir.path() / "taken";
    fs::create_directory(target);
    WriteFileBytes((target / "inside").string(), "kept");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(target.string(), std::string_view("new"), error));
    EXPECT_EQ(error.rfind("cannot replace " + target.string() + ": ", 0), 0u) << error;
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(ReadFileBytes((target / "inside").string()), "kept");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"taken"});
}

}  // namespace

TEST(OutputPlacement, AFinishedOutputTakesTheNextFreeNameAndNeverReplacesOne) {
    TempDir dir;
    WriteFileBytes(dir / "clip.mp4", "first");
    WriteFileBytes(dir / "take(0).mp4", "other");
    struct Case {
        std::string asked, got;
    };
    // The name asked for, free or taken; a name chosen free before ("(0)") goes on counting.
    const Case cases[] = {{"new.mp4", "new.mp4"},         {"clip.mp4", "clip(0).mp4"}, {"clip.mp4", "clip(1).mp4"},
                          {"take(0).mp4", "take(1).mp4"}, {"plain", "plain"},          {"plain", "plain(0)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        std::string error;
        const std::string part = CreatePartFile(dir / c.asked, error);
        ASSERT_EQ(part, dir / (c.asked + ".part")) << error;
        WriteFileBytes(part, "new " + c.asked);
        EXPECT_EQ(PlaceWithoutReplacing(part, dir / c.asked, error), dir / c.got) << error;
        EXPECT_EQ(ReadFileBytes(dir / c.got), "new " + c.asked);
    }
    EXPECT_EQ(ReadFileBytes(dir / "clip.mp4"), "first");
    EXPECT_EQ(ReadFileBytes(dir / "take(0).mp4"), "other");
    for (const std::string& name : Names(dir.path()))
        EXPECT_EQ(name.find(".part"), std::string::npos) << "left behind: " << name;
}

TEST(OutputPlacement, TwoJobsWritingOneNameEachGetAPartFileOfTheirOwn) {
    TempDir dir;
    std::string error;
    const std::string a = CreatePartFile(dir / "same.mp4", error);
    const std::string b = CreatePartFile(dir / "same.mp4", error);
    EXPECT_EQ(a, dir / "same.mp4.part");
    EXPECT_EQ(b, dir / "same.mp4.1.part");
    WriteFileBytes(a, "a");
    WriteFileBytes(b, "b");
    EXPECT_EQ(PlaceWithoutReplacing(b, dir / "same.mp4", error), dir / "same.mp4");
    EXPECT_EQ(PlaceWithoutReplacing(a, dir / "same.mp4", error), dir / "same(0).mp4");
    EXPECT_EQ(ReadFileBytes(dir / "same.mp4"), "b");
    EXPECT_EQ(ReadFileBytes(dir / "same(0).mp4"), "a");
}

// What stands at a kept file's path: only a regular file within the size is read, and a named
// pipe reads as not there at once (opening it for reading would wait for a writer).
TEST(ReadRegularFile, ReadsOnlyARegularFileWithinItsSizeAndNeverWaits) {
    TempDir dir;
    WriteFileBytes(dir / "ten", "0123456789");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "folder");
    const struct {
        std::string path;
        size_t most;
        std::optional<std::string> read;
    } cases[] = {
        {dir / "ten", 10, "0123456789"},     {dir / "ten", 9, std::nullopt},       {dir / "pipe", 100, std::nullopt},
        {dir / "folder", 100, std::nullopt}, {dir / "missing", 100, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadRegularFile(c.path, c.most), c.read) << c.path << " " << c.most;
    // The kernel's files say 0 bytes and hold more.
    const std::optional<std::string> status = ReadRegularFile("/proc/self/status", 1 << 20);
    ASSERT_TRUE(status);
    EXPECT_NE(status->find("Pid:"), std::string::npos);
}
