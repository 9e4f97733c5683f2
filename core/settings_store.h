// The user's output choices kept from one run to the next in setting.ini beside the
// program: the output folder, and the chosen row of each output list for the cut and
// the join settings. No cache: every read and write goes to the file at once, so the
// file is the only state.
#pragma once

#include <string>
#include <string_view>

#include "core/output_presets.h"

namespace ulvane {

namespace settings_keys {
inline constexpr std::string_view kPath = "PATH";
inline constexpr std::string_view kFolder = "name";
inline constexpr std::string_view kCut = "CUT";
inline constexpr std::string_view kJoin = "JOIN";
inline constexpr std::string_view kFormat = "format";
inline constexpr std::string_view kQuality = "quality";
inline constexpr std::string_view kSize = "size";
inline constexpr std::string_view kFrameRate = "framerate";
inline constexpr std::string_view kAudioQuality = "audioquality";
inline constexpr std::string_view kSampleRate = "samplerate";
// A direct job's container, a row of DirectContainers(); missing (older files) is row 0, the source's.
inline constexpr std::string_view kContainer = "container";
inline constexpr std::string_view kLanguage = "LANGUAGE";
inline constexpr std::string_view kLanguageFile = "file";
}  // namespace settings_keys

class SettingsStore {
public:
    // `path` is the settings file, setting.ini in the program's folder.
    explicit SettingsStore(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // The four operations: a row as an integer (0 when missing), a text (empty when
    // missing, at most 999 characters). Writes report nothing to the user; they return
    // false when the file could not be written.
    int ReadRow(std::string_view section, std::string_view key) const;
    bool WriteRow(std::string_view section, std::string_view key, int row) const;
    std::string ReadText(std::string_view section, std::string_view key) const;
    bool WriteText(std::string_view section, std::string_view key, std::string_view text) const;

    // The six rows of the cut or join settings, written in the order format, quality,
    // size, framerate, audioquality, samplerate.
    RowChoice ReadRows(Dialog d) const;
    bool WriteRows(Dialog d, const RowChoice& rows) const;

    // The output folder shared by both settings dialogs.
    std::string OutputFolder() const { return ReadText(settings_keys::kPath, settings_keys::kFolder); }
    bool WriteOutputFolder(std::string_view folder) const {
        return WriteText(settings_keys::kPath, settings_keys::kFolder, folder);
    }

    // The active interface-language file name, and the display name of language 1..6.
    std::string LanguageFile() const { return ReadText(settings_keys::kLanguage, settings_keys::kLanguageFile); }
    bool WriteLanguageFile(std::string_view name) const {
        return WriteText(settings_keys::kLanguage, settings_keys::kLanguageFile, name);
    }
    std::string LanguageName(int number) const;

    // Why the choices cannot be kept ("PATH: reason"), "" when writes would succeed.
    std::string SaveProblem() const;

private:
    std::string path_;
};

}  // namespace ulvane
