// "Apply to all" on the join list: the cut settings, and the cut tab's segments (or its marked
// segment, or else the whole file), applied to every ticked file, each to files of its own,
// as one queued job a file.
#include <QFileInfo>
#include <QPushButton>
#include <set>

#include "controls/check_list.h"
#include "core/job_queue.h"
#include "core/job_words.h"
#include "core/output_naming.h"
#include "ui/container_check.h"
#include "ui/control_ids.h"
#include "ui/join_clips.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/queue_runner.h"
#include "ui/settings_dialog.h"

namespace ulvane {

namespace {

// One file's job: the words that run it, and how the queue names it.
struct FileJob {
    std::vector<std::string> words;
    std::string what;
};

}  // namespace

void CUlvaneAVConverterDlg::SetUpApplyToAll() {
    connect(ItemAs<QPushButton>(main_id::kApplyToAllButton), &QPushButton::clicked, this,
            &CUlvaneAVConverterDlg::ApplyToAll);
}

void CUlvaneAVConverterDlg::ApplyToAll() {
    // Each ticked file once, whole (a clip row stands for its file).
    std::vector<JoinFile> files;
    for (int r = 0; r < sourceList_->rowCount(); ++r) {
        if (!sourceList_->IsChecked(r)) continue;
        JoinFile f = JoinFileOfRow(*sourceList_, r);
        if (std::any_of(files.begin(), files.end(), [&](const JoinFile& g) { return g.path == f.path; })) continue;
        f.clipped = false;
        KeepTracks(f, TracksOf(ToQString(f.path)));
        files.push_back(std::move(f));
    }
    if (files.empty()) {
        services_.messages->Show(this, windowTitle(), QueueText("yygx"), true);
        return;
    }
    // What the cut tab marks: two segments or more go out as the settings say; one, or the
    // marked start and end, is cut; a mark over the whole loaded file (or none) takes each file whole.
    std::vector<Segment> segments = Segments();
    const std::optional<int32_t> start = TypedTime(startBox_), end = TypedTime(endBox_);
    const bool marked = !cutSourcePath_.isEmpty() && start && end && *end > *start &&
                        (*start > 0 || int64_t{*end} * 1000 < cutInfo_.durationMicros);
    if (segments.size() < 2) segments.clear();
    if (segments.empty() && marked) segments.push_back({int64_t{*start} * 1000, int64_t{*end} * 1000, {}});
    CFileInfomation dialog(store_, table_, *services_.messages, services_.pickFolder,
                           ToQString(DefaultOutputName(files.front().path)), this);
    dialog.ProposeFolder(QFileInfo(ToQString(files.front().path)).absolutePath());
    if (segments.size() >= 2) dialog.OfferExport(static_cast<int>(segments.size()));
    if (!services_.runSettings(dialog)) return;
    lastOutputFolder_ = dialog.outputFolder();
    QStringList refused;
    std::set<std::string> asked;  // the types of file a change of container was asked about
    for (const JoinFile& file : files) {
        OutputChoice output = dialog.choice();
        output.name = CleanFileName(DefaultOutputName(file.path));  // each file's output is named after it
        ConversionJob apart;
        LaunchResult result;
        FileJob job;
        if (segments.size() >= 2) {
            SegmentsLaunch launch{file, segments, dialog.exportMode(), false, output};
            launch.chapters = launch.mode != ExportMode::Separate && dialog.chapters();
            PrepareSegmentsJob(apart, launch);
            result = FillSegmentsJob(apart, launch, PathExists);
            job = {SegmentsJobWords(launch, 0), SegmentsWhat(launch)};
        } else {
            const int64_t lengthMs = file.lengthMicros / 1000;
            const Segment part = segments.empty() ? Segment{0, file.lengthMicros, {}} : segments.front();
            const CutLaunch cut{file.path, static_cast<int32_t>(part.startMicros / 1000),
                                static_cast<int32_t>(std::min<int64_t>(part.endMicros / 1000, INT32_MAX)), output,
                                file.tracks};
            PrepareCutJob(apart);
            result = lengthMs > 0 && cut.startMs >= lengthMs ? LaunchResult{LaunchStatus::BadSegment, -1, {}, {}}
                                                             : FillCutJob(apart, cut, PathExists);
            job = {CutJobWords(cut, 0), CutWhat(cut)};
        }
        if (!result.ok()) {
            refused << QFileInfo(ToQString(file.path)).fileName();
            continue;
        }
        // A change of container is asked about once for each type of file.
        if (asked.insert(FileExtensionText(file.path)).second &&
            !ContainerChangeAccepted(this, windowTitle(), apart, table_, *services_.messages))
            return;
        QueueEntry e;
        e.words = std::move(job.words);
        e.what = std::move(job.what);
        e.direct = output.direct;
        queue_->Add(std::move(e));
    }
    ShowQueue();
    if (!refused.isEmpty())
        services_.messages->Show(this, windowTitle(), QueueText("yybf") + "\n" + refused.join("\n"), true);
}

}  // namespace ulvane
