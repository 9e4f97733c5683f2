// What the window's units share: the desktop's services, the active language, the settings and
// the items built from the window's template. The window owns each of them; a unit keeps a
// reference to the context and asks it for texts, pictures, messages and items.
#pragma once

#include <QImage>
#include <QMap>
#include <QString>
#include <QWidget>
#include <functional>

#include "core/language_table.h"
#include "core/settings_store.h"
#include "engine/media_probe.h"
#include "ui/desktop.h"

namespace ulvane {

class OutputSettingsDialog;

// Asks for a file to write or read: the dialog's title, where it starts (a suggested file, or
// a folder) and its filter in Qt's "Name (*.a);;Other (*)" form; the path chosen, "" when
// cancelled.
using PathChooser =
    std::function<QString(QWidget* parent, const QString& title, const QString& place, const QString& filter)>;

// What the window asks of the desktop; tests replace each part.
struct WindowServices {
    QString dataDir;                             // languages/, help/ and images/
    QString settingsFile;                        // the setting.ini the window reads and writes
    QString snapshotFile;                        // the preview's snapshot bitmap
    QString segmentsDir;                         // where each source's segments are kept between runs ("" keeps none)
    QString timelineCacheDir;                    // the timeline strip's cache ("" keeps none)
    QString queueFile;                           // the queue's waiting jobs between runs ("" keeps none)
    QString cliPath;                             // the ulvane-cli queued jobs run in ("" beside this program)
    FileChooser chooseFiles;                     // the open-file dialog
    PathChooser chooseSaveFile, chooseOpenFile;  // a segment list's file (CSV) to write or read
    MessageSink* messages = nullptr;
    std::function<bool(const QString&)> open;                     // the desktop's "open" (play, help)
    std::function<QString(QWidget*, const QString&)> pickFolder;  // the folder picker
    // Moves the window with the pointer (the window manager's move); tests count the calls.
    std::function<void(QWidget*)> startMove;
    // Runs a settings dialog modally; true when it was confirmed.
    std::function<bool(OutputSettingsDialog&)> runSettings;
    // The desktop's own services, and the places of the copy this program belongs to.
    static WindowServices Default();
    // The same for a program in `programDir`: a portable copy keeps its files beside it, an
    // installed one reads ../share/ulvane and keeps the user's files in the XDG folders.
    static WindowServices ForProgramIn(const QString& programDir);
    // Every file in one folder, as in a portable copy.
    void UseFolder(const QString& folder);
};

struct WindowContext {
    QWidget* window;
    const WindowServices& services;
    const LanguageTable& table;
    SettingsStore& store;
    const QMap<int, QWidget*>& items;
    std::function<void()> refit;  // the window's smallest size again, after texts or columns changed

    QWidget* Item(int id) const { return items.value(id); }
    template <typename T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }
    // A text of the active language: as loaded, or read from its file when asked.
    QString Text(const char* section, const char* key) const;
    QString FileText(const char* section, const char* key) const;
    QImage Image(int id) const;  // images/<id>.bmp of the data folder
    // A message over the window, titled as the window is.
    void Tell(const QString& text, bool warning = true) const;
    bool Ask(const QString& text) const;
    // "Sound tracks: 2" and "Subtitle tracks: 1" on two lines, in the active language.
    QString TracksText(const MediaInfo& info) const;
    // "The file x cannot be used" with the probe's reason.
    QString UnusableText(const QString& path, int probeResult) const;
};

// Probes the file at `path` (into a record of its own); its facts, or the probe's result
// when the file cannot be used.
int ProbeForWindow(const QString& path, MediaInfo& info);

}  // namespace ulvane
