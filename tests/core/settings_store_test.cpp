// The settings store: defaults, rows per dialog, the shared folder, the language name.
#include <gtest/gtest.h>

#include <fstream>

#include "core/settings_store.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using ulvane::test::TempDir;

TEST(SettingsStore, WithoutAFileEveryListOpensOnRowZero) {
    TempDir dir;
    const SettingsStore store(dir / "setting.ini");
    const RowChoice cut = store.ReadRows(Dialog::Cut);
    EXPECT_EQ(cut.format, 0);
    EXPECT_EQ(cut.samplerate, 0);
    EXPECT_EQ(store.OutputFolder(), "");
    EXPECT_EQ(store.LanguageFile(), "");
}

TEST(SettingsStore, CutAndJoinRowsAreIndependent) {
    TempDir dir;
    const SettingsStore store(dir / "setting.ini");
    RowChoice cut;
    cut.format = 3;
    cut.samplerate = 0;
    cut.framerate = 13;
    ASSERT_TRUE(store.WriteRows(Dialog::Cut, cut));
    EXPECT_EQ(store.ReadRows(Dialog::Join).format, 0);
    EXPECT_EQ(store.ReadRows(Dialog::Cut).format, 3);
    EXPECT_EQ(store.ReadRows(Dialog::Cut).framerate, 13);
    // The same stored row 0 means 22050 Hz for the cut and 44100 Hz for the join.
    EXPECT_EQ(ResolveRows(Dialog::Cut, store.ReadRows(Dialog::Cut))->parameters.sampleRate, 22050);
    EXPECT_EQ(ResolveRows(Dialog::Join, store.ReadRows(Dialog::Join))->parameters.sampleRate, 44100);
    // A list without a selection is stored as -1 and reads back as -1.
    RowChoice none;
    none.quality = -1;
    ASSERT_TRUE(store.WriteRows(Dialog::Join, none));
    EXPECT_EQ(store.ReadRows(Dialog::Join).quality, -1);
    EXPECT_FALSE(ResolveRows(Dialog::Join, store.ReadRows(Dialog::Join)));
}

TEST(SettingsStore, RowsAreWrittenInTheirOrderAsDecimalText) {
    TempDir dir;
    const SettingsStore store(dir / "setting.ini");
    RowChoice r{1, 10, 2, 3, 4, 5};
    ASSERT_TRUE(store.WriteRows(Dialog::Join, r));
    std::ifstream f(store.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(text, "[JOIN]\r\nformat=1\r\nquality=10\r\nsize=2\r\nframerate=3\r\naudioquality=4\r\nsamplerate=5\r\n");
}

TEST(SettingsStore, TheFolderIsSharedAndTheFileIsTheOnlyState) {
    TempDir dir;
    const SettingsStore a(dir / "setting.ini"), b(dir / "setting.ini");
    ASSERT_TRUE(a.WriteOutputFolder("/home/me/Vidéos/out"));
    EXPECT_EQ(b.OutputFolder(), "/home/me/Vidéos/out");
    std::ofstream(dir / "setting.ini", std::ios::app) << "[LANGUAGE]\nname3=Deutsch\nfile=german.ini\n";
    EXPECT_EQ(a.LanguageName(3), "Deutsch");
    EXPECT_EQ(a.LanguageFile(), "german.ini");
    ASSERT_TRUE(b.WriteLanguageFile("french.ini"));
    EXPECT_EQ(a.LanguageFile(), "french.ini");
    EXPECT_EQ(a.OutputFolder(), "/home/me/Vidéos/out");
}
