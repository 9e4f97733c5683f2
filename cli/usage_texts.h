// The help texts of ulvane-cli: a usage line and the notes of each command.
#pragma once

#include <string_view>

namespace ulvane::cli::usage {

constexpr std::string_view kCutUsage =
    "  ulvane-cli cut SOURCE --start TIME --end TIME --out-dir DIR [--name NAME] [--exact | --reencode]\n"
    "             [--container EXT] [--tracks LIST] [--rotate DEGREES] [--format ROW] [--quality ROW]\n"
    "             [--size ROW] [--framerate ROW] [--audioquality ROW] [--samplerate ROW] [--quiet]\n"
    "  ulvane-cli cut SOURCE --segment TIME-TIME [--label TEXT] [--into NAME] [--segment TIME-TIME ...]\n"
    "             [--segments LIST] [--chapters-as-segments]\n"
    "             [--separate | --merge | --merge-outside] [--chapters] --out-dir DIR [--name NAME]\n"
    "             [--exact | --reencode] [--container EXT] [--tracks LIST] [--rotate DEGREES]\n"
    "             [the same ROW flags] [--quiet]\n";
constexpr std::string_view kJoinUsage =
    "  ulvane-cli join --out-dir DIR --name NAME [--exact | --reencode] [--container EXT] [--rotate DEGREES]\n"
    "             [--chapters] [the same ROW flags] [--quiet]\n"
    "             FILE [--from TIME] [--to TIME] [--tracks LIST] FILE [--from TIME] [--to TIME]\n"
    "             [--tracks LIST] ...\n";
constexpr std::string_view kProbeUsage = "  ulvane-cli probe FILE\n";
constexpr std::string_view kGrabUsage = "  ulvane-cli grab FILE --at SECONDS --out PATH\n";
constexpr std::string_view kDetectUsage =
    "  ulvane-cli detect silence|black|scenes FILE [--threshold X] [--min-length SECONDS]\n";
constexpr std::string_view kBatchUsage = "  ulvane-cli batch JOBS|- [--jobs N] [--skip-done] [--quiet]\n";
constexpr std::string_view kChunksUsage =
    "  ulvane-cli cut ... --reencode --chunks N [--jobs M] [--plan DIR]\n"
    "  ulvane-cli join ... --reencode --chunks N [--jobs M] [--plan DIR]\n"
    "  ulvane-cli assemble DIR [--quiet]\n";
constexpr std::string_view kSegmentsUsage = "  ulvane-cli segments convert IN OUT [--source FILE]\n";
constexpr std::string_view kOtherUsage = "  ulvane-cli help [COMMAND] | --help | --version\n";

constexpr std::string_view kCutNotes =
    "TIME is HH:MM:SS.fff, H:MM:SS, MM:SS or SS, each with an optional fraction (1:30.5). An --end\n"
    "past the end of SOURCE cuts to its end, with a note that gives its length.\n"
    "ROW is a zero-based row of the cut (for cut) or join (for join) lists, which 'ulvane-cli help cut'\n"
    "and 'help join' show; a missing ROW flag takes the row the desktop program starts with.\n"
    "Without --reencode packets are copied. A cut with --exact starts on the very picture at --start:\n"
    "only the pictures before the first key frame after it are encoded again, matching the source\n"
    "(H.264, HEVC and MPEG-4 Part 2; other sources are cut from the key frame).\n"
    "--container EXT copies into another container (mp4, mov, mkv, ts, ...) instead of the source's:\n"
    "every packet of the tracks kept stays as it is. A track it cannot hold is named before the job\n"
    "starts, with what becomes of it (text subtitles converted to its own text format, or left out);\n"
    "a video or main sound it cannot hold is a usage error.\n"
    "--tracks LIST keeps only the tracks listed, as 'ulvane-cli probe' numbers them (v:0,a:1,s:0: a kind and\n"
    "its number among the file's tracks of that kind, from 0; t for attachments); the first sound track\n"
    "listed is the output's main and default one. A star makes a sound or subtitle track the default of\n"
    "its kind (v:0,a:1*,a:0,s:0*); a listed subtitle track without one is not a default. In a join it\n"
    "follows the FILE it chooses for.\n"
    "--rotate 90|180|270 turns the pictures clockwise: a re-encoding turns them, a direct job writes the\n"
    "turn as the display rotation, which MP4 and MOV files keep (others need --reencode or --container mp4).\n"
    "The last line on standard output is the output file; progress goes to standard error.\n"
    "--skip-done makes nothing when every file the job would make, under the name asked for, is there\n"
    "already (a note says so, and the file is named as if made): outputs appear only complete.\n"
    "\n"
    "Segments: each --segment START-END (either side may be left empty: '-1:00' is from the start,\n"
    "'5:00-' to the end), each segment of --segments LIST and, with --chapters-as-segments, each chapter\n"
    "of SOURCE (named by its title) is a segment of SOURCE, in that order; a --label TEXT after a\n"
    "--segment is its label. LIST is read in the format its extension names (see 'help segments').\n"
    "--separate (the default) writes each segment to its own file, named NAME and the segment's label,\n"
    "else its number; --merge writes them in that order into one file; --merge-outside writes\n"
    "everything except the segments, in time order, into one file.\n"
    "Groups: --into NAME after a --segment (or a CSV list's fourth column, output) sends the segment into\n"
    "the file NAME; segments of one NAME are merged into it in list order, whatever the mode, and the\n"
    "others follow the mode, all in one job.\n"
    "--chapters gives each merged file a chapter per segment. Each file made is a line on standard output.\n"
    "Join: each FILE is taken whole, or from its --from to its --to (the flags after it); --exact starts\n"
    "each such clip on the very picture at --from. A clip outside its file is a usage error.\n";
constexpr std::string_view kProbeNotes =
    "probe prints duration_us, width, height, frame_rate, rotation (the clockwise turn in degrees that\n"
    "shows the picture upright), audio_tracks, subtitle_tracks, other_tracks, for a file cut short\n"
    "stated_duration_us (the length its header claims; duration_us is where its pictures and sound end),\n"
    "then a line a track: track=ID CODEC [WIDTHxHEIGHT | Nch] [lang=LANGUAGE] [default] [title=TITLE],\n"
    "ID as --tracks takes it.\n";
constexpr std::string_view kGrabNotes = "grab writes the 320x240 snapshot bitmap of the picture at SECONDS.\n";
constexpr std::string_view kDetectNotes =
    "detect prints a line for each thing found in FILE, in time order, times as HH:MM:SS.mmm from its start:\n"
    "  silence: START END   stretches of the main sound whose every sample stays below --threshold dB\n"
    "                       (default -50) for at least --min-length seconds (default 0.5)\n"
    "  black:   START END   stretches of at least --min-length seconds (default 0.5) of pictures of which\n"
    "                       98% of the pixels are darker than --threshold of the brightness range (0 to 1,\n"
    "                       default 0.10)\n"
    "  scenes:  TIME SCORE  the first picture of each new scene: its change score (0 to 100, FFmpeg's scdet\n"
    "                       score) reaches --threshold (default 10)\n"
    "Nothing found prints nothing, with exit status 0.\n";
constexpr std::string_view kBatchNotes =
    "batch runs the jobs of the list JOBS (- reads standard input): a job a line, the words of a cut or join\n"
    "command as a shell splits them ('cut \"a b.mp4\" --start 1 --end 5 --out-dir out'); # starts a comment.\n"
    "Relative paths are taken from the current folder. Up to --jobs N run at once (default: the number of\n"
    "cores). Each job ends in a line on standard output, in the order they end:\n"
    "  ok LINE: OUTPUT              the file made (several, for separate segments, are separated by tabs)\n"
    "  skipped LINE: OUTPUT         --skip-done: every file the job makes is there already\n"
    "  failed LINE: REASON\n"
    "  stopped LINE                 Ctrl+C (or SIGTERM) stopped it, or it had not started\n"
    "A list with a line that is no cut or join command runs no job: exit status 2, naming the line.\n"
    "Ctrl+C stops every running job and removes its unfinished output; run the list again with\n"
    "--skip-done to make only what is missing. Outputs appear only complete, under the name asked for.\n"
    "Exit status: 0 every job made its files, 1 a job failed or was stopped, 2 usage error or a bad list.\n";
constexpr std::string_view kChunksNotes =
    "--chunks N re-encodes in parts: the pictures are cut at the sources' key frames into N parts of\n"
    "about equal length, each encoded as a job of its own, the sound whole as another, and the parts\n"
    "are joined by copying into the one output: the same pictures and sound as one re-encoding. Up to\n"
    "--jobs M run at once (default: the number of cores), each encoder on its share of the cores; the\n"
    "parts are made in a folder beside the output, which goes when it is done. With --plan DIR nothing\n"
    "is encoded: the plan goes into DIR and its jobs are printed, a line each, for 'ulvane-cli batch'\n"
    "(on any machine that sees DIR and the sources at the same paths); then 'ulvane-cli assemble DIR'\n"
    "makes the output. assemble refuses, naming them, parts that are missing, unfinished, or made for\n"
    "other settings or sources, and makes nothing then (exit status 1).\n";
constexpr std::string_view kSegmentsNotes =
    "segments convert writes the segment list IN again as OUT; the format of each is its extension's:\n"
    "  .csv                  start,end,label[,output]: times as HH:MM:SS.mmm, the output file's name\n"
    "  .edl                  CMX 3600 events, source in and out at the source's frame rate (drop-frame\n"
    "                        timecodes at 29.97 and 59.94); the clip name, else a comment, is the label\n"
    "  .txt                  chapter text as video sites show it, '0:00 Title' lines (1:02:03 from an\n"
    "                        hour on): each part ends where the next begins, the last at the file's end\n"
    "  .cue                  CUE sheet: TRACK, TITLE, INDEX 01 mm:ss:ff (75 frames a second); an INDEX 00\n"
    "                        ends the track before\n"
    "  .ffmeta, .ffmetadata  FFmpeg's metadata text (;FFMETADATA1), a [CHAPTER] a segment; a list that\n"
    "                        starts so is read as one whatever its extension\n"
    "--source FILE, the media file the list is of, gives the frame rate an EDL needs and the end that\n"
    "chapter text and CUE sheets need; without it they are a usage error. Only CSV keeps the output\n"
    "names; the other formats keep the starts and labels (the ends where they can). OUT is printed.\n";
constexpr std::string_view kExitNotes =
    "Exit status: 0 done, 1 an input failed or the job was stopped, 2 usage error.\n";

}  // namespace ulvane::cli::usage
