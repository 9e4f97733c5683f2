// Where the programs find their files and keep the user's.
//
// A portable copy (the build folder, an unpacked archive) has its files beside the program:
// languages/, help/, images/ and setting.ini. It keeps setting.ini and the preview snapshot
// there while that folder is writable. An installed copy (bin/ beside share/ulvane/) reads its
// files from ../share/ulvane and never writes into the install folder: setting.ini lives in
// the user's configuration folder (copied from the shipped default the first time) and the
// snapshot in the user's cache folder. The segments a user marks are kept in segments/ beside
// a portable copy, else in the user's data folder; that folder is made when first written.
#pragma once

#include <functional>
#include <string>

namespace ulvane {

struct AppPaths {
    std::string dataDir;       // languages/, help/, images/ and the shipped setting.ini
    std::string settingsFile;  // the setting.ini the program reads and writes
    std::string snapshotFile;  // the preview's snapshot bitmap
    std::string segmentsDir;   // where SegmentStore keeps each source's segments
    bool portable = false;     // settings and snapshot beside the program
};

// Looks an environment variable up; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The paths for a program in `programDir`. Creates the user's folders (and copies the
// default setting.ini) when an installed copy runs for the first time. `env` serves
// XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME and HOME; relative XDG values are ignored,
// as the XDG rules say.
AppPaths LocateAppPaths(const std::string& programDir, const EnvironmentLookup& env);
AppPaths LocateAppPaths(const std::string& programDir);

}  // namespace ulvane
