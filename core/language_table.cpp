// The language table and the key lists.
#include "core/language_table.h"

#include <filesystem>
#include <system_error>

#include "core/ini_file.h"

namespace ulvane {

namespace {

constexpr LanguageKey kMainKeys[] = {
    {"APPLICATION", "name"}, {"APPLICATION", "version"},
    {"APPLICATION", "url"},  {"TISHI", "wj"},
    {"TISHI", "wj1"},        {"TISHI", "wx"},
    {"TISHI", "qxtjsp"},     {"TISHI", "strmlbcz"},
    {"TISHI", "zslgwj"},     {"TISHI", "wjwczg"},
    {"TISHI", "wjwc"},       {"TISHI", "sb"},
    {"TISHI", "wc"},         {"TISHI", "jqcg"},
    {"TISHI", "jqsb"},       {"TISHI", "hbcg"},
    {"TISHI", "hbsb"},       {"TISHI", "bnzjhb"},
    {"TISHI", "hbbf"},       {"TISHI", "bjyc"},
    {"JIEMIAN", "yy"},       {"TISHI", "tcgz"},
    {"TISHI", "cybt"},       {"TISHI", "cbxq"},
    {"TISHI", "gycb"},       {"TISHI", "wsp"},
    {"JIEMIAN", "spbm"},     {"JIEMIAN", "ypbm"},
    {"JIEMIAN", "sdsh"},     {"JIEMIAN", "qtgd"},
    {"HINT", "sy"},          {"HINT", "xy"},
    {"JIEMIAN", "zjqd"},     {"JIEMIAN", "ypgs"},
    {"JIEMIAN", "zmgs"},     {"JIEMIAN", "zysybrj"},
    {"JIEMIAN", "zb"},       {"JIEMIAN", "ksjq"},
    {"JIEMIAN", "jsjq"},     {"JIEMIAN", "jqsj"},
    {"JIEMIAN", "symtwj"},   {"JIEMIAN", "sywj"},
    {"JIEMIAN", "spjq"},     {"JIEMIAN", "sphb"},
    {"JIEMIAN", "ywj"},      {"JIEMIAN", "spgs"},
    {"JIEMIAN", "spcd"},     {"JIEMIAN", "spdx"},
    {"JIEMIAN", "zl"},       {"JIEMIAN", "zt"},
    {"HINT", "hbcygwj"},     {"HINT", "djsbzj"},
    {"HINT", "sc"},          {"HINT", "tjspwj"},
    {"HINT", "ksjq"},        {"HINT", "bf"},
    {"HINT", "szksjqd"},     {"HINT", "szjsjqd"},
    {"HINT", "zjsrsjd"},     {"TISHI", "szbnbc"},
    {"JIEMIAN", "yymc"},     {"TISHI", "ytz"},
    {"TISHI", "rwytz"},      {"TISHI", "ksjw"},
    {"TISHI", "ksdj"},       {"TISHI", "jsdk"},
    {"TISHI", "jswj"},       {"TISHI", "jqwc"},
    {"TISHI", "hbwc"},       {"JIEMIAN", "dk"},
    {"JIEMIAN", "xswjj"},    {"JIEMIAN", "gb"},
    {"TISHI", "cpsd"},
};

// Messages of the launches for what the language files of old had no words for.
constexpr LanguageKey kLaunchKeys[] = {{"TISHI", "wkzm"},  {"TISHI", "tdwj"},  {"TISHI", "xcsb"},  {"TISHI", "sjgs"},
                                       {"TISHI", "wjmtc"}, {"EXPORT", "pdzj"}, {"EXPORT", "pdcd"}, {"EXPORT", "pdwt"}};

constexpr LanguageKey kProgressKeys[] = {
    {"APPLICATION", "name"}, {"JIEMIAN", "dqwj"}, {"JIEMIAN", "tz"}, {"JIEMIAN", "zgwj"}};

constexpr LanguageKey kCutKeys[] = {
    {"APPLICATION", "name"}, {"JIEMIAN", "yzfa"},   {"JIEMIAN", "jqzj"}, {"JIEMIAN", "zjjq"}, {"JIEMIAN", "jjjq"},
    {"JIEMIAN", "spgs"},     {"JIEMIAN", "spzl"},   {"JIEMIAN", "spdx"}, {"JIEMIAN", "zl"},   {"JIEMIAN", "ypzl"},
    {"JIEMIAN", "ypcyl"},    {"JIEMIAN", "zyzjjq"}, {"JIEMIAN", "scml"}, {"JIEMIAN", "ll"},   {"JIEMIAN", "wjm"},
    {"JIEMIAN", "ksjq1"},    {"JIEMIAN", "ywjyy"},  {"TISHI", "mlbcz"},  {"TISHI", "mlbkx"},  {"TISHI", "wjmtc"},
    {"JIEMIAN", "rqhv"},     {"JIEMIAN", "rqha"}};

constexpr LanguageKey kJoinKeys[] = {
    {"APPLICATION", "name"}, {"JIEMIAN", "yzfa"},  {"JIEMIAN", "zjhb"}, {"JIEMIAN", "jjhb"}, {"JIEMIAN", "spgs"},
    {"JIEMIAN", "spzl"},     {"JIEMIAN", "spdx"},  {"JIEMIAN", "zl"},   {"JIEMIAN", "ypzl"}, {"JIEMIAN", "ypcyl"},
    {"JIEMIAN", "zyzjhb"},   {"JIEMIAN", "scml"},  {"JIEMIAN", "ll"},   {"JIEMIAN", "wjm"},  {"JIEMIAN", "kshb"},
    {"JIEMIAN", "ywjyy"},    {"JIEMIAN", "hbhwj"}, {"TISHI", "xsrwjm"}, {"TISHI", "mlbcz"},  {"TISHI", "mlbkx"},
    {"TISHI", "wjmtc"},      {"JIEMIAN", "jqhb"},  {"JIEMIAN", "rqhv"}, {"JIEMIAN", "rqha"}};

bool SameKey(const LanguageKey& a, std::string_view section, std::string_view key) {
    return a.section == section && a.key == key;
}

}  // namespace

std::optional<int> LanguagePosition(std::string_view fileName) {
    for (size_t i = 0; i < kLanguageFiles.size(); ++i)
        if (kLanguageFiles[i] == fileName) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<std::string_view> KnownLanguageFile(std::string_view fileName) {
    for (std::string_view known : kLanguageFiles) {
        if (known.size() != fileName.size()) continue;
        bool same = true;
        for (size_t i = 0; same && i < known.size(); ++i) {
            const char c = fileName[i];
            same = known[i] == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        }
        if (same) return known;
    }
    return std::nullopt;
}

std::span<const LanguageKey> MainWindowKeys() {
    return kMainKeys;
}
std::span<const LanguageKey> ProgressDialogKeys() {
    return kProgressKeys;
}
std::span<const LanguageKey> CutDialogKeys() {
    return kCutKeys;
}
std::span<const LanguageKey> JoinDialogKeys() {
    return kJoinKeys;
}
std::span<const LanguageKey> LaunchKeys() {
    return kLaunchKeys;
}

void LanguageTable::Load(const std::string& languageFolder, const std::string& fileName) {
    std::string name(KnownLanguageFile(fileName).value_or(kLanguageFiles[0]));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(languageFolder + name, ec) ||
        !ini::ReadProblem(languageFolder + name).empty())
        name = kLanguageFiles[0];
    std::vector<Entry> fresh;
    fresh.reserve(std::size(kMainKeys));
    const std::string file = languageFolder + name;
    for (const LanguageKey& k : kMainKeys) fresh.push_back({k, ini::ReadString(file, k.section, k.key)});
    entries_ = std::move(fresh);
    folder_ = languageFolder;
    activeFile_ = name;
}

std::string LanguageTable::Text(std::string_view section, std::string_view key) const {
    for (const Entry& e : entries_)
        if (SameKey(e.key, section, key)) return e.text;
    return {};
}

std::string LanguageTable::ReadFromFile(std::string_view section, std::string_view key) const {
    return ini::ReadString(folder_ + activeFile_, section, key);
}

}  // namespace ulvane
