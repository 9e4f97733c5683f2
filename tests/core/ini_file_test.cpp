// The INI layer against files as a desktop program writes them by hand or by tool.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core/ini_file.h"
#include "tests/support/media_tools.h"

namespace fs = std::filesystem;
using namespace ulvane;
using ulvane::test::TempDir;

namespace {

// "text" as UTF-16LE with a byte-order mark (ASCII text only).
std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += c, out += '\0';
    return out;
}

const char kWindowsFile[] =
    "; written by hand\r\n"
    "[Path]\r\n"
    "Name = C:\\Videos\\out  \r\n"
    "\r\n"
    "[cut]\r\n"
    "FORMAT=3\r\n"
    "quality = \"5\"\r\n"
    "size='7'\r\n"
    "framerate=  12abc\r\n"
    "audioquality=-1\r\n"
    "samplerate=x9\r\n"
    "[CUT]\r\n"
    "format=6\r\n"
    "[LANGUAGE]\r\n"
    "file=\"german.ini\"\r\n"
    "name1=  \" spaced \"  \r\n"
    "name2=\"unbalanced'\r\n";

}  // namespace

TEST(IniFile, ReadsByTheDesktopConventions) {
    TempDir dir;
    const std::string f = dir / "setting.ini";
    ulvane::test::WriteFileBytes(f, kWindowsFile);
    EXPECT_EQ(ini::ReadString(f, "PATH", "name"), "C:\\Videos\\out");  // names without case, blanks dropped
    EXPECT_EQ(ini::ReadString(f, "path", "NAME"), "C:\\Videos\\out");
    EXPECT_EQ(ini::ReadInt(f, "CUT", "format", 0), 3);   // the first of two equal sections counts
    EXPECT_EQ(ini::ReadInt(f, "CUT", "quality", 0), 5);  // quotes stripped
    EXPECT_EQ(ini::ReadInt(f, "CUT", "size", 0), 7);
    EXPECT_EQ(ini::ReadInt(f, "CUT", "framerate", 0), 12);  // leading digits
    EXPECT_EQ(ini::ReadInt(f, "CUT", "audioquality", 0), -1);
    EXPECT_EQ(ini::ReadInt(f, "CUT", "samplerate", 4), 0);  // no digits: 0, not the fallback
    EXPECT_EQ(ini::ReadInt(f, "CUT", "missing", 4), 4);
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "file"), "german.ini");
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "name1"), " spaced ");
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "name2"), "\"unbalanced'");
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "name3", "fallback"), "fallback");
    EXPECT_EQ(ini::ReadString(f, "NOSECTION", "file", "x"), "x");
    EXPECT_EQ(ini::ReadString(dir / "missing.ini", "PATH", "name", "x"), "x");
    EXPECT_EQ(ini::ReadInt(dir / "missing.ini", "CUT", "format", 0), 0);
    // A comment line is not a key.
    EXPECT_EQ(ini::ReadString(f, "", "; written by hand"), "");
}

TEST(IniFile, ReadsEveryEncodingAlike) {
    TempDir dir;
    const std::string text = "[LANGUAGE]\r\nfile=french.ini\r\nname1=English\r\n";
    ulvane::test::WriteFileBytes(dir / "plain.ini", text);
    ulvane::test::WriteFileBytes(dir / "bom.ini", "\xEF\xBB\xBF" + text);
    ulvane::test::WriteFileBytes(dir / "utf16.ini", Utf16(text));
    for (const char* name : {"plain.ini", "bom.ini", "utf16.ini"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ini::ReadString(dir / name, "LANGUAGE", "file"), "french.ini");
        EXPECT_EQ(ini::ReadString(dir / name, "language", "NAME1"), "English");
    }
    ulvane::test::WriteFileBytes(dir / "unicode.ini", "[LANGUAGE]\nname6=日本語\n");
    EXPECT_EQ(ini::ReadString(dir / "unicode.ini", "LANGUAGE", "name6"), "日本語");
}

TEST(IniFile, ValuesAreCutTo999Characters) {
    TempDir dir;
    const std::string f = dir / "long.ini";
    ulvane::test::WriteFileBytes(
        f, "[PATH]\nname=" + std::string(1500, 'a') + "\nkanji=" + std::string(1200 * 3 / 3, 'x') + "\n");
    EXPECT_EQ(ini::ReadString(f, "PATH", "name"), std::string(999, 'a'));
    // Characters, not bytes: 1000 three-byte characters keep 999 of them.
    std::string kanji;
    for (int i = 0; i < 1000; ++i) kanji += "漢";
    ulvane::test::WriteFileBytes(f, "[PATH]\nname=" + kanji + "\n");
    EXPECT_EQ(ini::ReadString(f, "PATH", "name").size(), 999u * 3);
    // A character outside the basic plane counts two units and is never split.
    std::string emoji;
    for (int i = 0; i < 600; ++i) emoji += "😀";
    ulvane::test::WriteFileBytes(f, "[PATH]\nname=" + emoji + "\n");
    EXPECT_EQ(ini::ReadString(f, "PATH", "name").size(), 499u * 4);
}

TEST(IniFile, AWriteKeepsEveryOtherByte) {
    TempDir dir;
    const std::string f = dir / "setting.ini";
    ulvane::test::WriteFileBytes(f, kWindowsFile);
    ASSERT_TRUE(ini::WriteString(f, "cut", "Quality", "8"));
    std::string expected = kWindowsFile;
    expected.replace(expected.find("\"5\""), 3, "8");
    EXPECT_EQ(ulvane::test::ReadFileBytes(f), expected);
    // A new key goes at the end of its section; a new section at the end of the file.
    ASSERT_TRUE(ini::WriteString(f, "PATH", "extra", "1"));
    expected.insert(expected.find("\r\n\r\n[cut]") + 2, "extra=1\r\n");
    EXPECT_EQ(ulvane::test::ReadFileBytes(f), expected);
    ASSERT_TRUE(ini::WriteString(f, "JOIN", "format", "2"));
    expected += "[JOIN]\r\nformat=2\r\n";
    EXPECT_EQ(ulvane::test::ReadFileBytes(f), expected);
    EXPECT_EQ(ini::ReadInt(f, "CUT", "quality", 0), 8);
    EXPECT_EQ(ini::ReadInt(f, "JOIN", "format", 0), 2);
}

TEST(IniFile, WritesCreateTheFileAndKeepItsEncoding) {
    TempDir dir;
    const std::string fresh = dir / "new.ini";
    ASSERT_TRUE(ini::WriteString(fresh, "PATH", "name", "/home/user/Videos"));
    EXPECT_EQ(ulvane::test::ReadFileBytes(fresh), "[PATH]\r\nname=/home/user/Videos\r\n");
    const std::string lf = dir / "lf.ini";
    ulvane::test::WriteFileBytes(lf, "[A]\nx=1");
    ASSERT_TRUE(ini::WriteString(lf, "A", "y", "2"));
    EXPECT_EQ(ulvane::test::ReadFileBytes(lf), "[A]\nx=1\ny=2\n");
    const std::string utf16 = dir / "utf16.ini";
    ulvane::test::WriteFileBytes(utf16, Utf16("[LANGUAGE]\r\nfile=english.ini\r\n"));
    ASSERT_TRUE(ini::WriteString(utf16, "LANGUAGE", "file", "german.ini"));
    EXPECT_EQ(ulvane::test::ReadFileBytes(utf16), Utf16("[LANGUAGE]\r\nfile=german.ini\r\n"));
    const std::string bom = dir / "bom.ini";
    ulvane::test::WriteFileBytes(bom, "\xEF\xBB\xBF[X]\r\n");
    ASSERT_TRUE(ini::WriteString(bom, "X", "k", "v"));
    EXPECT_EQ(ulvane::test::ReadFileBytes(bom), "\xEF\xBB\xBF[X]\r\nk=v\r\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(ulvane::test::FilesIn(dir.path()),
              (std::vector<std::string>{"bom.ini", "lf.ini", "new.ini", "utf16.ini"}));
}

TEST(IniFile, EveryFolderPathReadsBackAsWritten) {
    TempDir dir;
    const std::string f = dir / "setting.ini";
    for (const std::string path : {"/plain/path", " /leading blank", "/trailing blank ", "\"quoted\"", "'single'",
                                   "C:\\Users\\Zoë\\Vidéos", "/with = equals ; and semicolon", "[bracket]", ""}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(ini::WriteString(f, "PATH", "name", path));
        EXPECT_EQ(ini::ReadString(f, "PATH", "name", "missing"), path);
    }
    // A line break cannot be stored: the write is refused and the old value stays.
    EXPECT_FALSE(ini::WriteString(f, "PATH", "name", "/a\nb"));
    EXPECT_EQ(ini::ReadString(f, "PATH", "name", "missing"), "");
}

TEST(IniFile, AnUnwritableFileFailsAndStaysAsItWas) {
    TempDir dir;
    EXPECT_FALSE(ini::WriteString(dir / "no/such/folder/setting.ini", "A", "b", "c"));
    const std::string f = dir / "setting.ini";
    ulvane::test::WriteFileBytes(f, "[A]\nb=old\n");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) {
        EXPECT_FALSE(ini::WriteString(f, "A", "b", "new"));
        EXPECT_EQ(ulvane::test::ReadFileBytes(f), "[A]\nb=old\n");
    }
    fs::permissions(dir.path(), fs::perms::owner_all);
}

TEST(IniFile, OnlyASmallRegularFileIsReadAndNothingElseIsWrittenOver) {
    // Each case puts something at "setting.ini"; every read gives the fallback at once (a
    // device is never read from), and a write fails and leaves it as it was.
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        const char* reason;
    };
    const std::string big = "[A]\nb=kept\n" + std::string(ini::kMaxFileBytes, ';');
    const Case cases[] = {
        {"a folder", [](const std::string& f) { fs::create_directory(f); }, "is a folder"},
        {"an endless device", [](const std::string& f) { fs::create_symlink("/dev/zero", f); }, "not a regular file"},
        {"a pipe", [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); }, "not a regular file"},
        {"a file past the cap", [&](const std::string& f) { ulvane::test::WriteFileBytes(f, big); }, "larger than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string f = dir / "setting.ini";
        c.make(f);
        const fs::file_type kind = fs::symlink_status(f).type();
        EXPECT_EQ(ini::ReadString(f, "A", "b", "fallback"), "fallback");
        EXPECT_EQ(ini::ReadInt(f, "A", "b", 7), 7);
        EXPECT_NE(ini::ReadProblem(f).find(c.reason), std::string::npos) << ini::ReadProblem(f);
        EXPECT_FALSE(ini::WriteString(f, "A", "b", "new"));
        EXPECT_EQ(ini::WriteProblem(f), ini::ReadProblem(f));
        if (kind == fs::file_type::regular) {
            EXPECT_EQ(ulvane::test::ReadFileBytes(f), big);
        }
        EXPECT_EQ(fs::symlink_status(f).type(), kind);
    }
    // At the cap, a file still reads; binary junk reads as a file without those keys.
    TempDir dir;
    const std::string f = dir / "setting.ini";
    ulvane::test::WriteFileBytes(f, big.substr(0, ini::kMaxFileBytes));
    EXPECT_EQ(ini::ReadString(f, "A", "b"), "kept");
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) % 256);
    ulvane::test::WriteFileBytes(f, junk);
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "file", "none"), "none");
    EXPECT_TRUE(ini::WriteString(f, "LANGUAGE", "file", "german.ini"));
    EXPECT_EQ(ini::ReadString(f, "LANGUAGE", "file"), "german.ini");
    EXPECT_EQ(ulvane::test::ReadFileBytes(f).substr(0, junk.size()), junk);
}

TEST(IniFile, AWriteProblemNamesThePlaceAndWhy) {
    TempDir dir;
    ulvane::test::WriteFileBytes(dir / "plain", "x");
    const std::pair<std::string, std::string> cases[] = {
        {dir / "setting.ini", ""},                                           // a new file in a folder that is there
        {dir / "plain/ulvane/setting.ini", dir / "plain: Not a directory"},  // the folder cannot be made
        {dir / "gone/setting.ini", dir / "gone: No such file or directory"},
    };
    for (const auto& [file, problem] : cases) {
        EXPECT_EQ(ini::WriteProblem(file), problem) << file;
        EXPECT_EQ(ini::WriteString(file, "A", "b", "c"), problem.empty()) << file;
    }
}
