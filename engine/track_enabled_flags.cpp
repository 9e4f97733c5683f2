// Finding the track headers in an MP4/MOV file's movie box and clearing their enabled flag.
#include "engine/track_enabled_flags.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>

namespace ulvane {

namespace {

struct Box {
    uint64_t offset = 0, size = 0;  // of the whole box, header included
    uint32_t headerSize = 8;
    char type[4] = {};
};

uint32_t Read32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The box at `offset` of `data` (`end` bytes long), when it is whole.
std::optional<Box> BoxAt(const unsigned char* data, uint64_t offset, uint64_t end) {
    if (end - offset < 8) return std::nullopt;
    Box b;
    b.offset = offset;
    b.size = Read32(data + offset);
    std::memcpy(b.type, data + offset + 4, 4);
    if (b.size == 1) {  // a 64-bit size follows the type
        if (end - offset < 16) return std::nullopt;
        b.size = uint64_t(Read32(data + offset + 8)) << 32 | Read32(data + offset + 12);
        b.headerSize = 16;
    } else if (b.size == 0) {  // up to the end
        b.size = end - offset;
    }
    if (b.size < b.headerSize || b.size > end - offset) return std::nullopt;
    return b;
}

// The first child of `parent` of this type.
std::optional<Box> Child(const unsigned char* data, const Box& parent, const char* type) {
    for (uint64_t at = parent.offset + parent.headerSize; at < parent.offset + parent.size;) {
        const std::optional<Box> b = BoxAt(data, at, parent.offset + parent.size);
        if (!b) return std::nullopt;
        if (std::memcmp(b->type, type, 4) == 0) return b;
        at += b->size;
    }
    return std::nullopt;
}

// Where the top-level movie box lies in the file, read box header by box header.
std::optional<Box> FindMovie(std::fstream& file) {
    file.seekg(0, std::ios::end);
    const uint64_t length = static_cast<uint64_t>(file.tellg());
    unsigned char h[16];
    for (uint64_t at = 0; at + 8 <= length;) {
        file.seekg(static_cast<std::streamoff>(at));
        if (!file.read(reinterpret_cast<char*>(h), 8)) return std::nullopt;
        Box b;
        b.offset = at;
        b.size = Read32(h);
        std::memcpy(b.type, h + 4, 4);
        if (b.size == 1) {
            if (!file.read(reinterpret_cast<char*>(h + 8), 8)) return std::nullopt;
            b.size = uint64_t(Read32(h + 8)) << 32 | Read32(h + 12);
            b.headerSize = 16;
        } else if (b.size == 0) {
            b.size = length - at;
        }
        if (b.size < b.headerSize || b.size > length - at) return std::nullopt;
        if (std::memcmp(b.type, "moov", 4) == 0) return b;
        at += b.size;
    }
    return std::nullopt;
}

}  // namespace

bool WrittenAsMp4(const char* formatName) {
    static const char* const kNames[] = {"mp4", "mov", "ipod", "3gp", "3g2", "psp", "ismv", "f4v"};
    return formatName && std::any_of(std::begin(kNames), std::end(kNames),
                                     [&](const char* n) { return std::strcmp(n, formatName) == 0; });
}

Status TurnOffTracks(const std::string& path, const std::vector<uint32_t>& trackIds) {
    if (trackIds.empty()) return {};
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) return Status::Failed("cannot open " + path + " to set its tracks' flags");
    const std::optional<Box> found = FindMovie(file);
    if (!found || found->size > (uint64_t(1) << 30)) return {};
    std::vector<unsigned char> movie(found->size);
    file.seekg(static_cast<std::streamoff>(found->offset));
    if (!file.read(reinterpret_cast<char*>(movie.data()), static_cast<std::streamsize>(movie.size())))
        return Status::Failed("cannot read " + path + " to set its tracks' flags");
    Box moov = *found;
    moov.offset = 0;
    for (uint64_t at = moov.headerSize; at < moov.size;) {
        const std::optional<Box> b = BoxAt(movie.data(), at, moov.size);
        if (!b) break;
        at += b->size;
        if (std::memcmp(b->type, "trak", 4) != 0) continue;
        const std::optional<Box> tkhd = Child(movie.data(), *b, "tkhd");
        // A full box: a version byte, 24 bits of flags (the enabled flag the lowest), the
        // creation and modification times (32 or, from version 1, 64 bits each), the track's id.
        if (!tkhd || tkhd->size < tkhd->headerSize + 4) continue;
        const uint64_t body = tkhd->offset + tkhd->headerSize, idAt = body + (movie[body] == 1 ? 20 : 12);
        if (idAt + 4 > tkhd->offset + tkhd->size) continue;
        if (std::find(trackIds.begin(), trackIds.end(), Read32(movie.data() + idAt)) == trackIds.end()) continue;
        const uint64_t flags = body + 3;
        movie[flags] &= static_cast<unsigned char>(~1u);
        file.seekp(static_cast<std::streamoff>(found->offset + flags));
        file.put(static_cast<char>(movie[flags]));
    }
    file.flush();
    if (!file) return Status::Failed("cannot write " + path + " to set its tracks' flags");
    return {};
}

}  // namespace ulvane
