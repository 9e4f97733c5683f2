// The language table, and the shipped language files: every key the program reads is
// there, in every language, and none is empty.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "core/ini_file.h"
#include "core/language_table.h"
#include "core/settings_store.h"
#include "tests/support/media_tools.h"

namespace fs = std::filesystem;
using namespace ulvane;
using ulvane::test::TempDir;

namespace {

fs::path Resources() {
    return fs::path(ULVANE_SOURCE_DIR) / "resources";
}

std::vector<LanguageKey> EveryKeyTheProgramReads() {
    std::vector<LanguageKey> keys;
    for (auto list : {MainWindowKeys(), ProgressDialogKeys(), CutDialogKeys(), JoinDialogKeys(), LaunchKeys()})
        keys.insert(keys.end(), list.begin(), list.end());
    return keys;
}

}  // namespace

TEST(LanguageTable, HoldsBothKsjqEntriesApartAndFollowsTheFile) {
    TempDir dir;
    std::ofstream(dir / "french.ini")
        << "[APPLICATION]\nname=Cutter\nversion=2\n[JIEMIAN]\nksjq=Start:\n[HINT]\nksjq=Convert "
           "the segment\n[TISHI]\nmlbcz=No folder\n";
    LanguageTable table;
    EXPECT_EQ(table.Text("APPLICATION", "name"), "");  // empty until loaded
    table.Load(dir.path().string() + "/", "french.ini");
    EXPECT_EQ(table.activeFile(), "french.ini");
    EXPECT_EQ(table.Text("APPLICATION", "name"), "Cutter");
    EXPECT_EQ(table.Text("JIEMIAN", "ksjq"), "Start:");
    EXPECT_EQ(table.Text("HINT", "ksjq"), "Convert the segment");
    EXPECT_EQ(table.Text("HINT", "sc"), "");                       // missing key
    EXPECT_EQ(table.Text("TISHI", "mlbcz"), "");                   // a dialog's key is not in the table...
    EXPECT_EQ(table.ReadFromFile("TISHI", "mlbcz"), "No folder");  // ...it is read on demand
    // Loading again replaces the table as a whole; without even English, texts are empty.
    table.Load(dir.path().string() + "/", "german.ini");
    EXPECT_EQ(table.Text("APPLICATION", "name"), "");
}

TEST(LanguageTable, ReadsOnlyTheSixFilesAndElseEnglish) {
    TempDir dir;
    const std::string folder = dir.path().string() + "/";
    for (const char* lang : {"english", "german"})
        std::ofstream(dir / (std::string(lang) + ".ini")) << "[JIEMIAN]\nspjq=" << lang << "\n";
    fs::create_directory(dir / "spanish.ini");  // a language file that cannot be read
    std::ofstream(dir / "secret.ini") << "[JIEMIAN]\nspjq=secret\n";
    const std::pair<const char*, const char*> cases[] = {
        {"german.ini", "german"},  {"German.INI", "german"},   {"", "english"},
        {".", "english"},          {"..", "english"},          {"../../../../dev/zero", "english"},
        {"secret.ini", "english"}, {"spanish.ini", "english"}, {"french.ini", "english"},  // not there
    };
    for (const auto& [file, shown] : cases) {
        LanguageTable table;
        table.Load(folder, file);
        EXPECT_EQ(table.Text("JIEMIAN", "spjq"), shown) << file;
        EXPECT_EQ(table.activeFile(), std::string(shown) + ".ini") << file;
        EXPECT_EQ(table.ReadFromFile("JIEMIAN", "spjq"), shown) << file;
    }
}

TEST(LanguageTable, LanguagePositionsCompareExactly) {
    EXPECT_EQ(LanguagePosition("english.ini"), 0);
    EXPECT_EQ(LanguagePosition("french.ini"), 3);
    EXPECT_EQ(LanguagePosition("japanese.ini"), 5);
    EXPECT_FALSE(LanguagePosition("German.ini"));
    EXPECT_FALSE(LanguagePosition(""));
}

TEST(LanguageFiles, EveryLanguageHasEveryKeyWithAText) {
    for (std::string_view file : kLanguageFiles) {
        const std::string path = (Resources() / "languages" / std::string(file)).string();
        SCOPED_TRACE(path);
        ASSERT_TRUE(fs::exists(path));
        for (const LanguageKey& k : EveryKeyTheProgramReads()) {
            const std::string text = ini::ReadString(path, k.section, k.key, "\x01missing");
            EXPECT_NE(text, "\x01missing") << k.section << "/" << k.key;
            EXPECT_FALSE(text.empty()) << k.section << "/" << k.key;
        }
        EXPECT_NE(ini::ReadString(path, "JIEMIAN", "ksjq"), ini::ReadString(path, "HINT", "ksjq"));
        // The help page the link opens ships with the program.
        const std::string url = ini::ReadString(path, "APPLICATION", "url");
        EXPECT_TRUE(fs::exists(Resources() / url)) << url;
    }
}

TEST(LanguageFiles, DefaultSettingsNameTheSixLanguages) {
    const SettingsStore store((Resources() / "setting.ini").string());
    EXPECT_EQ(store.LanguageFile(), "english.ini");
    std::set<std::string> names;
    for (int i = 1; i <= 6; ++i) {
        const std::string name = store.LanguageName(i);
        EXPECT_FALSE(name.empty()) << i;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 6u);
    EXPECT_EQ(store.LanguageName(1), "English");
}
