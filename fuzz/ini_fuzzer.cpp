// libFuzzer target: the INI reader on arbitrary files, and the writer's promise that a
// value reads back as written and that the rest of the file keeps its meaning.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/ini_file.h"

namespace {

const std::string& WorkDir() {
    static const std::string dir = [] {
        char templ[] = "/tmp/ulvane-ini-fuzz-XXXXXX";
        if (!mkdtemp(templ)) std::abort();
        return std::string(templ);
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The last bytes up to a 0 byte are the value to write; the rest is the file.
    std::string all(reinterpret_cast<const char*>(data), size);
    const size_t split = all.rfind('\0');
    const std::string file = split == std::string::npos ? all : all.substr(0, split);
    std::string value = split == std::string::npos ? std::string("value") : all.substr(split + 1);
    if (value.size() > 200) value.resize(200);

    const std::string path = WorkDir() + "/setting.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
    const std::string before = ulvane::ini::ReadString(path, "PATH", "name", "\x01");
    (void)ulvane::ini::ReadInt(path, "CUT", "format", 7);
    (void)ulvane::ini::ReadString(path, "LANGUAGE", "file");

    // A UTF-16 file cannot hold bytes that are not UTF-8; the promises below are for
    // files kept in UTF-8.
    const bool utf16 =
        file.size() >= 2 && static_cast<uint8_t>(file[0]) == 0xFF && static_cast<uint8_t>(file[1]) == 0xFE;
    if (ulvane::ini::WriteString(path, "JOIN", "format", value) && !utf16) {
        if (ulvane::ini::ReadString(path, "JOIN", "format", "\x01") != value) std::abort();
        if (ulvane::ini::ReadString(path, "PATH", "name", "\x01") != before) std::abort();
    }
    return 0;
}
