// The window as the installed program and a file manager use it: files handed to the
// program on start, the user's choices kept outside a read-only install folder, and a start
// whatever the user's settings file holds.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QProcess>
#include <QTabBar>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "controls/check_list.h"
#include "core/ini_file.h"
#include "core/language_table.h"
#include "tests/support/media_tools.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// Every file under `root` with its size and modification time, to tell whether anything changed.
std::map<std::string, std::string> Listing(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const auto when = e.last_write_time().time_since_epoch().count();
        files[e.path().string()] =
            (e.is_regular_file() ? std::to_string(e.file_size()) : "dir") + "@" + std::to_string(when);
    }
    return files;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(OpenWith, OneFileBecomesTheCutSourceAndSeveralGoToTheJoinList) {
    Harness h;
    h.window->OpenFiles({Colours()});
    EXPECT_EQ(h.window->ItemAs<QTabBar>(kTabs)->currentIndex(), 0);
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), Colours());
    EXPECT_GT(CentreColour(h.window->ItemAs<PreviewFrame>(kPreview)).red(), 200);

    h.window->OpenFiles({Av("w25.mp4", "25"), Av("w30.mp4", "30000/1001")});
    auto* list = h.window->ItemAs<CCheckListCtrl>(kSourceList);
    EXPECT_EQ(h.window->ItemAs<QTabBar>(kTabs)->currentIndex(), 1);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(h.window->joinTab()->RowPath(1), Av("w30.mp4", "30000/1001"));
    EXPECT_TRUE(list->IsChecked(0) && list->IsChecked(1));
}

TEST(OpenWith, ARelativePathIsTakenFromTheCurrentFolder) {
    Harness h;
    const fs::path file(Colours().toStdString());
    const fs::path before = fs::current_path();
    fs::current_path(file.parent_path());
    h.window->OpenFiles({QString::fromStdString(file.filename().string())});
    fs::current_path(before);
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), Colours());
}

// An installed copy under `prefix`: the program's folder bin/ (where the program would be)
// and the shipped files in share/ulvane.
void Install(const fs::path& prefix) {
    const fs::path share = prefix / "share" / "ulvane";
    const fs::path res = fs::path(ULVANE_SOURCE_DIR) / "resources";
    fs::create_directories(prefix / "bin");
    fs::create_directories(share);
    for (const char* sub : {"languages", "images", "help"})
        fs::copy(res / sub, share / sub, fs::copy_options::recursive);
    fs::copy_file(res / "setting.ini", share / "setting.ini");
}

// Starts the program installed under `prefix` on `file`, as a file manager's "Open with" does, and
// waits until its window shows the file's first picture (the snapshot appears in `cacheHome`);
// then ends it. "" when it got there, else how it ended.
std::string RunUntilThePictureShows(const fs::path& prefix, const QString& file, const fs::path& cacheHome) {
    const fs::path program = prefix / "bin" / "ulvane";
    std::error_code ec;
    fs::create_hard_link(ULVANE_PROGRAM_PATH, program, ec);
    if (ec) fs::copy_file(ULVANE_PROGRAM_PATH, program);
    const fs::path snapshot = cacheHome / "ulvane" / "image.bmp";
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(program.string()), {file});
    // No deadline but the test's own: a start that never shows is a failure too.
    while (!fs::exists(snapshot) && p.state() != QProcess::NotRunning) p.waitForFinished(50);
    if (fs::exists(snapshot)) {
        p.kill();
        p.waitForFinished(-1);
        return {};
    }
    return "ended with " + std::to_string(p.exitCode()) +
           (p.exitStatus() == QProcess::CrashExit ? " (crashed): " : ": ") + p.readAllStandardError().toStdString();
}

WindowServices InstalledServices(const fs::path& prefix, Messages& messages) {
    WindowServices s = WindowServices::ForProgramIn(QString::fromStdString((prefix / "bin").string()));
    s.chooseFiles = [](QWidget*, const QString&) { return QStringList{Colours()}; };
    s.messages = &messages;
    s.open = [](const QString&) { return true; };
    return s;
}

QString Shipped(const char* language, const char* section, const char* key) {
    const fs::path file = fs::path(ULVANE_SOURCE_DIR) / "resources" / "languages" / (std::string(language) + ".ini");
    return QString::fromStdString(ini::ReadString(file.string(), section, key));
}

TEST(InstalledCopy, KeepsTheUsersChoicesInTheXdgFoldersAndWritesNothingIntoTheInstallFolder) {
    TempDir dir;
    const fs::path prefix = dir.path() / "usr";
    Install(prefix);
    // Read-only, as a system folder is to a user (root ignores the bits; the listing below
    // checks that nothing was written all the same).
    for (const auto& e : fs::recursive_directory_iterator(prefix))
        fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    const auto before = Listing(prefix);
    ScopedEnv home("HOME", (dir.path() / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").string());
    ScopedEnv cache("XDG_CACHE_HOME", (dir.path() / "cache").string());

    Messages messages;
    const int german = *LanguagePosition("german.ini");
    {
        CUlvaneAVConverterDlg window(InstalledServices(prefix, messages));
        EXPECT_EQ(window.languageTable().Text("JIEMIAN", "spjq"), "Cut") << "the shipped default is English";
        window.SelectLanguage(german);
        window.AddSourceFiles();  // a preview picture goes to the cache folder
        EXPECT_TRUE(fs::exists(dir.path() / "cache" / "ulvane" / "image.bmp"));
    }
    // The next run starts in German.
    CUlvaneAVConverterDlg again(InstalledServices(prefix, messages));
    EXPECT_EQ(again.ItemAs<QComboBox>(kLanguageBox)->currentIndex(), german);
    EXPECT_NE(again.languageTable().Text("JIEMIAN", "spjq"), "Cut");
    EXPECT_EQ(again.settings().path(), (dir.path() / "config" / "ulvane" / "setting.ini").string());
    EXPECT_EQ(Listing(prefix), before);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join("\n").toStdString();
    for (const auto& e : fs::recursive_directory_iterator(prefix))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
}

TEST(InstalledCopy, StartsInEnglishWhateverItsSettingsAreAndSaysOnceWhenTheyCannotBeKept) {
    // What the user's setting.ini is; `config` is XDG_CONFIG_HOME below the test's folder.
    struct Case {
        const char* what;
        std::function<void(const fs::path& settings)> make;
        const char* config = "config";
        const char* why = nullptr;  // the end of the place and reason said, when they cannot be kept
    };
    const auto text = [](const std::string& t) { return [t](const fs::path& f) { WriteFileBytes(f.string(), t); }; };
    std::string junk;
    for (int i = 0; i < 2000; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
    const Case cases[] = {
        {"empty", text("")},
        {"binary junk", text(junk)},
        {"without file=", text("[LANGUAGE]\nname1=English\n")},
        {"file= empty", text("[LANGUAGE]\nfile=\n")},
        {"file=.", text("[LANGUAGE]\nfile=.\n")},
        {"a language file from elsewhere", text("[LANGUAGE]\nfile=../../../../dev/zero\n")},
        {"a folder", [](const fs::path& f) { fs::create_directory(f); }, "config", "setting.ini: is a folder"},
        {"past the cap", text(std::string(ini::kMaxFileBytes + 1, ';')), "config", "setting.ini: is larger than 1 MiB"},
        // A first run whose config folder cannot be made (below a plain file: even root can't).
        {"no config folder", [](const fs::path&) {}, "plain/config", "plain: Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Install(dir.path() / "usr");
        WriteFileBytes((dir.path() / "plain").string(), "");
        ScopedEnv home("HOME", (dir.path() / "home").string());
        ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / c.config).string());
        ScopedEnv cache("XDG_CACHE_HOME", (dir.path() / "cache").string());
        const fs::path settings = dir.path() / "config" / "ulvane" / "setting.ini";
        fs::create_directories(settings.parent_path());
        c.make(settings);

        Messages messages;
        CUlvaneAVConverterDlg window(InstalledServices(dir.path() / "usr", messages));
        window.show();
        QCoreApplication::processEvents();
        auto* tabs = window.ItemAs<QTabBar>(kTabs);
        auto* languages = window.ItemAs<QComboBox>(kLanguageBox);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(tabs->tabText(0), Shipped("english", "JIEMIAN", "spjq"));
        EXPECT_TRUE(window.windowTitle().startsWith(Shipped("english", "APPLICATION", "name") + " "))
            << window.windowTitle().toStdString();
        EXPECT_EQ(languages->currentIndex(), 0);
        EXPECT_EQ(languages->itemText(5), QString("日本語"));  // every language can still be chosen
        ASSERT_EQ(messages.shown.size(), c.why ? 1 : 0) << messages.shown.join("\n").toStdString();
        if (c.why) {
            EXPECT_TRUE(messages.shown[0].startsWith(Shipped("english", "TISHI", "szbnbc")));
            EXPECT_TRUE(messages.shown[0].endsWith(c.why)) << messages.shown[0].toStdString();
        }
        // A language chosen now is shown for this run, and nothing is said again.
        window.SelectLanguage(*LanguagePosition("german.ini"));
        EXPECT_EQ(tabs->tabText(0), Shipped("german", "JIEMIAN", "spjq"));
        EXPECT_EQ(messages.shown.size(), c.why ? 1 : 0);

        // The program itself starts as well, and shows a file it is handed.
        if (!c.why) c.make(settings);  // as the window found it, before the switch above
        fs::remove_all(dir.path() / "cache");
        EXPECT_EQ(RunUntilThePictureShows(dir.path() / "usr", Colours(), dir.path() / "cache"), "");
    }
}

TEST(InstalledCopy, TheFirstFileDialogOpensInTheVideosFolderElseHome) {
    // Never in the folder the program happened to be started from.
    TempDir dir;
    ScopedEnv home("HOME", (dir.path() / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").string());
    fs::create_directories(dir.path() / "home");
    EXPECT_EQ(FirstFileFolder(), QString::fromStdString((dir.path() / "home").string()));
    fs::create_directories(dir.path() / "home" / "Videos");
    EXPECT_EQ(FirstFileFolder(), QString::fromStdString((dir.path() / "home" / "Videos").string()));
}
