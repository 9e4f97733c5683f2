// A main window in a program folder of its own, with the desktop scripted, for the tests.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <filesystem>
#include <memory>

#include "tests/support/content.h"
#include "tests/support/media_tools.h"
#include "ui/cut_preview.h"
#include "ui/cut_tab.h"
#include "ui/find_button.h"
#include "ui/job_launcher.h"
#include "ui/join_tab.h"
#include "ui/main_window.h"
#include "ui/preview_frame.h"
#include "ui/settings_dialog.h"
#include "ui/track_choices.h"

namespace ulvane::test {

namespace fs = std::filesystem;

struct Messages : MessageSink {
    QStringList shown;
    QStringList asked;
    bool answer = false;  // what every question is answered
    int choice = -1;      // the button every choice is answered with (-1: the last, as Escape)
    void Show(QWidget*, const QString&, const QString& text, bool) override { shown << text; }
    bool Ask(QWidget*, const QString&, const QString& text) override {
        asked << text;
        return answer;
    }
    int Choose(QWidget*, const QString&, const QString& text, const QStringList& buttons) override {
        shown << text;
        return choice >= 0 ? choice : static_cast<int>(buttons.size()) - 1;
    }
};

// A program folder of its own, with the shipped languages, images and settings, and a
// window whose desktop is scripted.
struct Harness {
    QString folderToPick;
    std::function<void(OutputSettingsDialog&)> settings;  // fills and confirms a settings dialog
    TempDir dir;
    Messages messages;
    QStringList nextFiles;
    QString lastFilter;                  // what the last file dialog was asked to list
    QString nextSavePath, nextOpenPath;  // what the segment list's save and open dialogs answer
    int moves = 0;                       // window moves started
    QStringList opened;
    std::unique_ptr<CUlvaneAVConverterDlg> window;

    Harness() {
        const fs::path res = fs::path(ULVANE_SOURCE_DIR) / "resources";
        for (const char* sub : {"languages", "images"})
            fs::copy(res / sub, dir.path() / sub, fs::copy_options::recursive);
        fs::copy_file(res / "setting.ini", dir.path() / "setting.ini");
        WindowServices s;
        s.UseFolder(QString::fromStdString(dir.path().string()));
        s.chooseFiles = [this](QWidget*, const QString& filter) {
            lastFilter = filter;
            return nextFiles;
        };
        s.startMove = [this](QWidget*) { ++moves; };
        s.chooseSaveFile = [this](QWidget*, const QString&, const QString&, const QString& filter) {
            lastFilter = filter;
            return nextSavePath;
        };
        s.chooseOpenFile = [this](QWidget*, const QString&, const QString&, const QString& filter) {
            lastFilter = filter;
            return nextOpenPath;
        };
        s.messages = &messages;
        s.cliPath = QString::fromStdString(CliPath());
        s.open = [this](const QString& t) { return opened << t, true; };
        s.pickFolder = [this](QWidget*, const QString&) { return folderToPick; };
        s.runSettings = [this](OutputSettingsDialog& d) {
            if (!settings) return false;
            settings(d);
            return d.result() == QDialog::Accepted;
        };
        window = std::make_unique<CUlvaneAVConverterDlg>(s);
        window->show();
    }
    void Add(const QStringList& files) {
        nextFiles = files;
        window->AddSourceFiles();
    }
    QString Text(int id) const {
        if (auto* l = window->ItemAs<QLabel>(id)) return l->text();
        if (auto* e = window->ItemAs<QLineEdit>(id)) return e->text();
        return {};
    }
};

inline QString Colours() {
    const std::string c = ":s=160x120:r=25:d=1";
    return QString::fromStdString(
        Fixture("window_colours.mp4",
                {"-f", "lavfi", "-i",
                 "color=c=red" + c + "[r];color=c=lime" + c + "[g];color=c=blue" + c + "[b];[r][g][b]concat=n=3[out0]",
                 "-c:v", "libx264", "-preset", "veryfast", "-g", "25", "-pix_fmt", "yuv420p"}));
}

// Red, green and blue for `seconds` each, in one group of pictures: only the first is a key frame.
inline QString Colours(int seconds, const char* name) {
    const std::string c = ":s=160x120:r=10:d=" + std::to_string(seconds);
    return QString::fromStdString(Fixture(
        name, {"-f", "lavfi", "-i",
               "color=c=red" + c + "[r];color=c=lime" + c + "[g];color=c=blue" + c + "[b];[r][g][b]concat=n=3[out0]",
               "-c:v", "libx264", "-preset", "veryfast", "-g", "1000", "-pix_fmt", "yuv420p"}));
}

inline QString Av(const char* name, const char* rate) {
    return QString::fromStdString(
        Fixture(name, {"-f", "lavfi", "-i", std::string("testsrc2=size=320x240:rate=") + rate, "-t", "2", "-c:v",
                       "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
}

inline QColor CentreColour(const PreviewFrame* p) {
    const QImage& img = p->picture();
    return img.isNull() ? QColor() : img.pixelColor(img.width() / 2, img.height() / 2);
}

// The preview's picture in grey at `w` x `h`, to compare with the source's own decode.
inline GreyPicture PreviewGrey(const PreviewFrame* p, int w = 64, int h = 48) {
    const QImage small = p->picture()
                             .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB888);
    GreyPicture g;
    g.width = w;
    g.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QColor c = small.pixelColor(x, y);
            g.pixels.push_back(static_cast<uint8_t>(0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue() + 0.5));
        }
    return g;
}

}  // namespace ulvane::test
