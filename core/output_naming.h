// How output files are named: the default name from the source, the extension, the
// clean-up of a typed name and the free name that never replaces an existing file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ulvane {

// The file name part of a path: after the last "/" or "\".
std::string_view FileNamePart(std::string_view path);
// "clip" for ".../clip.mp4": the file name before its last "."; "" when it has none.
std::string DefaultOutputName(std::string_view sourcePath);
// ".mp4" for ".../clip.mp4": from the file name's last "." to the end; "" when none.
std::string SourceExtension(std::string_view sourcePath);
// Drops the characters a file name cannot hold on any desktop system, \ / : * ? " < > |,
// the at sign, and control characters, and the dots it would start with (which would hide
// the file). "a:b*c?" becomes "abc", "../up" becomes "up".
std::string CleanFileName(std::string_view typed);
// The name without `extension` when it ends with it in any letter case, so that a typed
// "clip.MP4" gives "clip.mp4", not "clip.MP4.mp4"; else the name as it is.
std::string NameWithoutExtension(std::string_view name, std::string_view extension);
// Whether name + extension, with room for a "(n)" number and the part suffix it is written
// under, fits the file names of the file system that holds `folder` (255 bytes where it
// cannot be asked).
bool NameFitsFolder(const std::string& folder, std::string_view name, std::string_view extension);
// folder + "/" + name + extension, or, when a file or folder of that path exists,
// the first of "name(0).ext", "name(1).ext", ... that does not. `exists` is the
// file-system test (replaceable in tests).
std::string FreeOutputPath(std::string_view folder, std::string_view name, std::string_view extension,
                           const std::function<bool(const std::string&)>& exists);
bool PathExists(const std::string& path);

// The source list's extension text: after the path's last ".", letters as they are; the
// whole path when it holds no ".".
std::string FileExtensionText(std::string_view path);
// The source list's size text, "1280*720".
std::string SizeText(int width, int height);
// The size as the picture is shown: turned a quarter by its display matrix (`rotationDegrees`
// 90 or 270), a portrait take's 640*360 reads "360*640".
std::string ShownSizeText(int width, int height, int rotationDegrees);

}  // namespace ulvane
