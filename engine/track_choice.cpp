// Track lists: parsed, numbered against a file's streams, and listed for a user.
#include "engine/track_choice.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/media_input.h"
#include "engine/track_choice_internal.h"

namespace ulvane {

char TrackKind(const AVFormatContext* ctx, unsigned index) {
    const AVStream* st = ctx->streams[index];
    if (RepeatsAnEarlierStream(ctx, index)) return 0;
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return 't';
    switch (st->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            return IsRealVideoStream(st) ? 'v' : 0;
        case AVMEDIA_TYPE_AUDIO:
            return 'a';
        case AVMEDIA_TYPE_SUBTITLE:
            return 's';
        case AVMEDIA_TYPE_ATTACHMENT:
            return 't';
        default:
            return 0;
    }
}

std::string TrackId(const AVFormatContext* ctx, unsigned index) {
    const char kind = TrackKind(ctx, index);
    if (!kind) return "";
    int number = 0;
    for (unsigned i = 0; i < index; ++i) number += TrackKind(ctx, i) == kind ? 1 : 0;
    return std::string(1, kind) + ":" + std::to_string(number);
}

namespace {

const char* KindName(char kind) {
    return kind == 'v' ? "picture" : kind == 'a' ? "sound" : kind == 's' ? "subtitle" : "attachment";
}

}  // namespace

Status ResolveTrackList(const AVFormatContext* ctx, const std::string& list, ResolvedTracks& resolved) {
    resolved = {};
    std::vector<int>& streams = resolved.streams;
    std::string starredSound, starredSubtitle;  // the items that carry a star, as listed
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(at, comma - at);
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        at = comma + 1;
        if (item.empty()) continue;
        const bool starred = item.back() == '*';
        const std::string id = starred ? item.substr(0, item.size() - 1) : item;
        const bool wellFormed = id.size() >= 3 && std::string("vast").find(id[0]) != std::string::npos &&
                                id[1] == ':' && id.size() <= 6 &&
                                std::all_of(id.begin() + 2, id.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!wellFormed) return Status::Failed("'" + item + "' is no track (v:N, a:N, s:N or t:N, a:N* or s:N*)");
        int found = -1, count = 0;
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            if (TrackKind(ctx, i) != id[0]) continue;
            if (std::to_string(count) == id.substr(2)) found = static_cast<int>(i);
            ++count;
        }
        if (found < 0)
            return Status::Failed("the file has no track " + id + " (" + std::to_string(count) + " " + KindName(id[0]) +
                                  (count == 1 ? " track)" : " tracks)"));
        if (std::find(streams.begin(), streams.end(), found) != streams.end())
            return Status::Failed("track " + id + " is listed twice");
        streams.push_back(found);
        if (!starred) continue;
        if (id[0] != 'a' && id[0] != 's')
            return Status::Failed("'" + item + "': only a sound or subtitle track can be marked the default (*)");
        std::string& mark = id[0] == 'a' ? starredSound : starredSubtitle;
        if (!mark.empty())
            return Status::Failed(mark + " and " + item + " are both marked the default " + KindName(id[0]) +
                                  " track; only one can be");
        mark = item;
        (id[0] == 'a' ? resolved.defaultSound : resolved.defaultSubtitle) = found;
    }
    const bool playable = std::any_of(streams.begin(), streams.end(), [ctx](int i) {
        const char kind = TrackKind(ctx, static_cast<unsigned>(i));
        return kind == 'v' || kind == 'a';
    });
    if (!playable) return Status::Failed("no picture or sound track is kept");
    return {};
}

std::vector<FileTrack> ListTracks(const std::string& path, std::string& error) {
    std::vector<FileTrack> tracks;
    std::unique_ptr<MediaInput> in;
    if (Status s = MediaInput::Open(path, in, nullptr, MediaInput::Analysis::Header); !s.ok()) {
        error = s.reason();
        return tracks;
    }
    const AVFormatContext* ctx = in->ctx();
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        FileTrack t;
        t.id = TrackId(ctx, i);
        if (t.id.empty()) continue;
        const AVStream* st = ctx->streams[i];
        t.codec = avcodec_get_name(st->codecpar->codec_id);
        if (const AVDictionaryEntry* e = av_dict_get(st->metadata, "language", nullptr, 0)) t.language = e->value;
        if (const AVDictionaryEntry* e = av_dict_get(st->metadata, "title", nullptr, 0)) t.title = e->value;
        t.channels = t.id[0] == 'a' ? st->codecpar->ch_layout.nb_channels : 0;
        if (t.id[0] == 'v') {
            t.width = st->codecpar->width;
            t.height = st->codecpar->height;
        }
        t.isDefault = (st->disposition & AV_DISPOSITION_DEFAULT) != 0;
        tracks.push_back(std::move(t));
    }
    return tracks;
}

std::string CheckTrackList(const std::string& path, const std::string& list) {
    std::unique_ptr<MediaInput> in;
    if (Status s = MediaInput::Open(path, in, nullptr, MediaInput::Analysis::Header); !s.ok()) return s.reason();
    ResolvedTracks resolved;
    const Status s = ResolveTrackList(in->ctx(), list, resolved);
    return s.ok() ? "" : s.reason();
}

}  // namespace ulvane
