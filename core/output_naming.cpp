// Output naming rules.
#include "core/output_naming.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "engine/atomic_file.h"

namespace ulvane {

std::string_view FileNamePart(std::string_view path) {
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

std::string DefaultOutputName(std::string_view sourcePath) {
    const std::string_view name = FileNamePart(sourcePath);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(0, dot));
}

std::string SourceExtension(std::string_view sourcePath) {
    const std::string_view name = FileNamePart(sourcePath);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string CleanFileName(std::string_view typed) {
    std::string out;
    for (char c : typed) {
        if (static_cast<unsigned char>(c) < 0x20) continue;
        if (std::string_view("\\/:*?\"<>|@").find(c) != std::string_view::npos) continue;
        out += c;
    }
    return out.substr(std::min(out.find_first_not_of('.'), out.size()));
}

std::string NameWithoutExtension(std::string_view name, std::string_view extension) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    if (extension.empty() || name.size() <= extension.size()) return std::string(name);
    const std::string_view tail = name.substr(name.size() - extension.size());
    const bool same = std::equal(tail.begin(), tail.end(), extension.begin(), extension.end(),
                                 [&](char a, char b) { return lower(a) == lower(b); });
    return std::string(same ? name.substr(0, name.size() - extension.size()) : name);
}

bool NameFitsFolder(const std::string& folder, std::string_view name, std::string_view extension) {
    const long asked = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const size_t longest = asked > 0 ? static_cast<size_t>(asked) : 255;
    return name.size() + extension.size() + kOutputNameReserve <= longest;
}

std::string FreeOutputPath(std::string_view folder, std::string_view name, std::string_view extension,
                           const std::function<bool(const std::string&)>& exists) {
    std::string first(folder);
    if (!first.empty() && first.back() != '/' && first.back() != '\\') first += '/';
    first += name;
    first += extension;
    if (!exists(first)) return first;
    for (long n = 0;; ++n) {
        std::string candidate = NumberedPath(first, n);
        if (!exists(candidate)) return candidate;
    }
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string FileExtensionText(std::string_view path) {
    const size_t dot = path.rfind('.');
    return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

std::string SizeText(int width, int height) {
    return std::to_string(width) + "*" + std::to_string(height);
}

std::string ShownSizeText(int width, int height, int rotationDegrees) {
    const bool quarter = rotationDegrees % 180 != 0;
    return quarter ? SizeText(height, width) : SizeText(width, height);
}

}  // namespace ulvane
