// The interface texts of the active language file: the keys the main window reads, held
// in one table, and the keys the dialogs read from the same file when they open.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ulvane {

struct LanguageKey {
    std::string_view section;
    std::string_view key;
};

// The six language files, at their fixed places in the language box.
inline constexpr std::array<std::string_view, 6> kLanguageFiles = {"english.ini", "spanish.ini", "german.ini",
                                                                   "french.ini",  "italian.ini", "japanese.ini"};
// The place of a file name in the language box, compared exactly (letter case included).
std::optional<int> LanguagePosition(std::string_view fileName);
// The one of the six files a name means, letter case aside ("German.ini": "german.ini");
// nothing for any other name (a path, "", ".").
std::optional<std::string_view> KnownLanguageFile(std::string_view fileName);

// The keys the main window reads, in the order it reads them.
std::span<const LanguageKey> MainWindowKeys();
// The keys each dialog reads when it opens.
std::span<const LanguageKey> ProgressDialogKeys();
std::span<const LanguageKey> CutDialogKeys();
std::span<const LanguageKey> JoinDialogKeys();
// The launches' own messages (no extension for a direct cut, too many files, no worker).
std::span<const LanguageKey> LaunchKeys();

class LanguageTable {
public:
    // Reads every main-window key from the language file `fileName` names in `languageFolder`
    // and replaces the whole table with them; a missing key gives an empty text. Only the six
    // files are read: any other name, or a file that is missing or cannot be read, gives
    // English (activeFile() says which file was read).
    void Load(const std::string& languageFolder, const std::string& fileName);

    // The text of a key ("" when never read or missing). JIEMIAN/ksjq and HINT/ksjq are
    // two entries.
    std::string Text(std::string_view section, std::string_view key) const;
    const std::string& activeFile() const { return activeFile_; }

    // A key the table does not hold, read from the active file on demand (the dialogs'
    // keys): they follow a language switch at once.
    std::string ReadFromFile(std::string_view section, std::string_view key) const;

private:
    struct Entry {
        LanguageKey key;
        std::string text;
    };
    std::vector<Entry> entries_;
    std::string folder_;
    std::string activeFile_;
};

}  // namespace ulvane
