// setting.ini through the INI layer.
#include "core/settings_store.h"

#include "core/ini_file.h"

namespace ulvane {

using namespace settings_keys;

int SettingsStore::ReadRow(std::string_view section, std::string_view key) const {
    return ini::ReadInt(path_, section, key, 0);
}

bool SettingsStore::WriteRow(std::string_view section, std::string_view key, int row) const {
    return ini::WriteString(path_, section, key, std::to_string(row));
}

std::string SettingsStore::ReadText(std::string_view section, std::string_view key) const {
    return ini::ReadString(path_, section, key, "");
}

bool SettingsStore::WriteText(std::string_view section, std::string_view key, std::string_view text) const {
    return ini::WriteString(path_, section, key, text);
}

RowChoice SettingsStore::ReadRows(Dialog d) const {
    const std::string_view s = d == Dialog::Cut ? kCut : kJoin;
    RowChoice r;
    r.format = ReadRow(s, kFormat);
    r.quality = ReadRow(s, kQuality);
    r.size = ReadRow(s, kSize);
    r.framerate = ReadRow(s, kFrameRate);
    r.audioquality = ReadRow(s, kAudioQuality);
    r.samplerate = ReadRow(s, kSampleRate);
    return r;
}

bool SettingsStore::WriteRows(Dialog d, const RowChoice& r) const {
    const std::string_view s = d == Dialog::Cut ? kCut : kJoin;
    bool ok = WriteRow(s, kFormat, r.format);
    ok &= WriteRow(s, kQuality, r.quality);
    ok &= WriteRow(s, kSize, r.size);
    ok &= WriteRow(s, kFrameRate, r.framerate);
    ok &= WriteRow(s, kAudioQuality, r.audioquality);
    ok &= WriteRow(s, kSampleRate, r.samplerate);
    return ok;
}

std::string SettingsStore::LanguageName(int number) const {
    return ReadText(kLanguage, "name" + std::to_string(number));
}

std::string SettingsStore::SaveProblem() const {
    return ini::WriteProblem(path_);
}

}  // namespace ulvane
