// Where the programs find their files and keep the user's; see app_paths.h.
#include "core/app_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ulvane {

namespace fs = std::filesystem;

namespace {

bool IsFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// An XDG base folder: the variable when it holds an absolute path, else HOME + fallback.
fs::path UserFolder(const EnvironmentLookup& env, const char* variable, const char* fallback) {
    if (const char* v = env(variable); v && *v == '/') return fs::path(v);
    const char* home = env("HOME");
    return fs::path(home && *home ? home : "/tmp") / fallback;
}

}  // namespace

AppPaths LocateAppPaths(const std::string& programDir, const EnvironmentLookup& env) {
    const fs::path program(programDir);
    const fs::path shared = program / ".." / "share" / "ulvane";
    AppPaths paths;
    const bool besideProgram = IsFolder(program / "languages") || !IsFolder(shared / "languages");
    paths.dataDir = besideProgram ? program.string() : shared.lexically_normal().string();
    if (!paths.dataDir.empty() && paths.dataDir.back() == '/') paths.dataDir.pop_back();
    paths.portable = besideProgram && ::access(program.c_str(), W_OK) == 0;
    if (paths.portable) {
        paths.settingsFile = (program / "setting.ini").string();
        paths.snapshotFile = (program / "image.bmp").string();
        paths.segmentsDir = (program / "segments").string();
        return paths;
    }
    const fs::path config = UserFolder(env, "XDG_CONFIG_HOME", ".config") / "ulvane";
    const fs::path cache = UserFolder(env, "XDG_CACHE_HOME", ".cache") / "ulvane";
    std::error_code ec;
    fs::create_directories(config, ec);
    fs::create_directories(cache, ec);
    paths.settingsFile = (config / "setting.ini").string();
    paths.snapshotFile = (cache / "image.bmp").string();
    paths.segmentsDir = (UserFolder(env, "XDG_DATA_HOME", ".local/share") / "ulvane" / "segments").string();
    // The first run starts from the shipped choices (the language names among them).
    if (!fs::exists(paths.settingsFile, ec))
        fs::copy_file(fs::path(paths.dataDir) / "setting.ini", paths.settingsFile, ec);
    return paths;
}

AppPaths LocateAppPaths(const std::string& programDir) {
    return LocateAppPaths(programDir, [](const char* name) -> const char* { return std::getenv(name); });
}

}  // namespace ulvane
