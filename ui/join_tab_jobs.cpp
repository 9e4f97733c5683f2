// The join tab's jobs: the ticked rows joined, and "Apply to all", a queued job a file. Each
// is filled from its settings dialog and handed to the JobLauncher.
#include <QFileInfo>
#include <atomic>
#include <map>
#include <set>

#include "controls/check_list.h"
#include "core/job_queue.h"
#include "core/job_words.h"
#include "core/output_naming.h"
#include "engine/key_frames.h"
#include "ui/container_check.h"
#include "ui/cut_tab.h"
#include "ui/job_launcher.h"
#include "ui/join_clips.h"
#include "ui/join_tab.h"
#include "ui/main_window_text.h"
#include "ui/queue_runner.h"
#include "ui/settings_dialog.h"
#include "ui/track_choices.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

// The files a direct job copies, for the settings dialog's check of the chosen container.
std::vector<JobSource> SourcesOf(const std::vector<JoinFile>& files) {
    std::vector<JobSource> sources;
    for (const JoinFile& f : files) sources.push_back({f.path, f.tracks});
    return sources;
}

}  // namespace

std::vector<JoinFile> JoinTab::JoinFilesOfRows(const std::vector<int>& rows) const {
    std::vector<JoinFile> files;
    for (int row : rows) {
        files.push_back(JoinFileOfRow(*list_, row));
        KeepTracks(files.back(), cut_->trackChoices()->Of(ToQString(files.back().path)));
    }
    return files;
}

QString JoinTab::UnlikeFilesText(const std::vector<JoinFile>& files, const JoinMismatch& m) const {
    const auto name = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).fileName(); };
    // The parameter's name, by JoinParameter in order.
    static constexpr const char* kNames[] = {"spgs", "spdx", "spbm", "ypbm", "ypcyl", "sdsh", "qtgd", "cpsd"};
    const char* parameter = kNames[static_cast<size_t>(m.parameter)];
    const char* section = m.parameter == JoinParameter::ReorderDepth ? "TISHI" : "JIEMIAN";
    const auto value = [&](const std::string& v) { return v.empty() ? context_.Text("TISHI", "wsp") : ToQString(v); };
    const std::string& first = files.front().path;
    return context_.Text("TISHI", "cybt").arg(name(files[static_cast<size_t>(m.file)].path), name(first)) + "\n" +
           context_.Text("TISHI", "cbxq").arg(context_.Text(section, parameter), value(m.value), value(m.firstValue)) +
           "\n\n" + context_.Text("TISHI", "gycb");
}

bool JoinTab::AcceptClipStarts(const std::vector<JoinFile>& files, const std::vector<int>& rows) const {
    // Read once for each file, here on the window's thread: from the index where the file has one.
    std::map<std::string, std::vector<int64_t>> keyFrames;
    const std::atomic<bool> never{false};
    constexpr int kNamed = 12;  // clips named one by one; more are "…"
    QStringList early;
    int more = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        const JoinFile& f = files[k];
        if (!f.clipped) continue;
        auto [keys, fresh] = keyFrames.try_emplace(f.path);
        if (fresh) keys->second = KeyFrameTimes(f.path, never);
        const int64_t from = DirectCutStart(keys->second, f.startMicros);
        if (f.startMicros - from < 1000) continue;  // on its key frame, to the millisecond shown
        if (early.size() == kNamed) {
            ++more;
            continue;
        }
        early << context_.FileText("EXPORT", "pdcd")
                     .arg(rows[k] + 1)
                     .arg(QFileInfo(ToQString(f.path)).fileName(), MicrosText(f.startMicros), MicrosText(from));
    }
    if (early.isEmpty()) return true;
    if (more > 0) early << QString::fromUtf8("\u2026");
    return context_.Ask(context_.FileText("EXPORT", "pdzj") + "\n" + early.join("\n") + "\n\n" +
                        context_.FileText("EXPORT", "pdwt"));
}

void JoinTab::LaunchJoin() {
    if (list_->rowCount() == 0) {
        context_.Tell(context_.Text("TISHI", "qxtjsp"));
        return;
    }
    std::vector<int> rows;
    for (int r = 0; r < list_->rowCount(); ++r)
        if (list_->IsChecked(r)) rows.push_back(r);
    if (rows.size() < 2) {
        context_.Tell(context_.Text("TISHI", "zslgwj"));
        return;
    }
    if (rows.size() > static_cast<size_t>(kMaxJoinFiles)) {
        context_.Tell(context_.Text("TISHI", "tdwj"));
        return;
    }
    std::vector<std::string> paths;
    for (int row : rows) paths.push_back(RowPath(row).toStdString());
    if (cut_->trackChoices()->Refuse(paths)) return;
    const bool queued = launcher_->Busy();
    if (!queued) joinRows_ = rows;
    WindowJob run;
    ConversionJob& job = *run.job;
    PrepareJoinJob(job, static_cast<int>(rows.size()));
    JoinLaunch join{JoinFilesOfRows(rows), {}, false};
    const std::vector<JoinFile>& files = join.files;
    CSettings dialog(context_.store, context_.table, *context_.services.messages, context_.services.pickFolder,
                     context_.window);
    dialog.ProposeFolder(ProposedOutputFolder(RowPath(rows.front())));
    dialog.SetSources(SourcesOf(files));
    const bool clips = std::any_of(files.begin(), files.end(), [](const JoinFile& f) { return f.clipped; });
    if (clips) dialog.OfferClips();
    if (!context_.services.runSettings(dialog)) return;
    join.output = dialog.choice();
    join.chapters = dialog.chapters();
    if (clips && join.output.direct && !join.output.exact && !AcceptClipStarts(files, rows)) return;
    LaunchResult launch = FillJoinJob(job, join, PathExists);
    if (launch.status == LaunchStatus::HiddenLead) {
        context_.Tell(context_.Text("TISHI", "bjyc") + "\n" + ToQString(files[static_cast<size_t>(launch.input)].path));
        return;
    }
    if (launch.status == LaunchStatus::UnlikeFiles) {
        // Named with the parameter that differs; re-encoding joins them anyway, if the user wants.
        if (!context_.Ask(UnlikeFilesText(files, launch.mismatch))) return;
        join.output.direct = false;
        launch = FillJoinJob(job, join, PathExists);
    }
    if (launch.status == LaunchStatus::BadSegment) {
        // A clip its file cannot give (the file changed since it was listed): named by its row.
        const int at = launch.problem.index >= 0 ? launch.problem.index : launch.input;
        const int row = at >= 0 && static_cast<size_t>(at) < rows.size() ? rows[static_cast<size_t>(at)] : 0;
        context_.Tell(context_.FileText("EXPORT", "pdyc").arg(row + 1).arg(ToQString(launch.problem.why)));
        return;
    }
    if (!launch.ok()) {
        // A file without an extension has no container to copy into.
        const bool tooLong = launch.status == LaunchStatus::NameTooLong;
        context_.Tell(context_.Text("TISHI", tooLong ? "wjmtc" : "bnzjhb"));
        return;
    }
    // What an earlier job said of the rows is not this job's.
    if (!queued)
        for (int r = 0; r < list_->rowCount(); ++r) SetRowStatusText(r, RowStatus::kReady);
    run.words = JoinJobWords(join, job.rotateDegrees);
    run.what = JoinWhat(context_, join);
    run.direct = join.output.direct;
    run.outputFolder = dialog.outputFolder();
    run.joinRows = rows;
    for (int r = 0; r < list_->rowCount(); ++r) run.rowPaths.push_back(RowPathText(r));
    run.cutSourcePath = cut_->cutSourcePath().toStdString();
    launcher_->Launch(std::move(run));
}

void JoinTab::ApplyToAll() {
    // Each ticked file once, whole (a clip row stands for its file).
    std::vector<JoinFile> files;
    for (int r = 0; r < list_->rowCount(); ++r) {
        if (!list_->IsChecked(r)) continue;
        JoinFile f = JoinFileOfRow(*list_, r);
        if (std::any_of(files.begin(), files.end(), [&](const JoinFile& g) { return g.path == f.path; })) continue;
        f.clipped = false;
        KeepTracks(f, cut_->trackChoices()->Of(ToQString(f.path)));
        files.push_back(std::move(f));
    }
    if (files.empty()) {
        context_.Tell(context_.FileText("QUEUE", "yygx"));
        return;
    }
    // What the cut tab marks: two segments or more go out as the settings say; one, or the
    // marked start and end, is cut; a mark over the whole loaded file (or none) takes each file whole.
    std::vector<Segment> segments = cut_->Segments();
    const std::optional<Segment> marks = cut_->TypedMarks();
    const bool marked = !cut_->cutSourcePath().isEmpty() && marks && marks->endMicros > marks->startMicros &&
                        (marks->startMicros > 0 || marks->endMicros < cut_->info().durationMicros);
    if (segments.size() < 2) segments.clear();
    if (segments.empty() && marked) segments.push_back(*marks);
    CFileInfomation dialog(context_.store, context_.table, *context_.services.messages, context_.services.pickFolder,
                           ToQString(DefaultOutputName(files.front().path)), context_.window);
    dialog.ProposeFolder(QFileInfo(ToQString(files.front().path)).absolutePath());
    dialog.SetSources(SourcesOf(files));
    if (segments.size() >= 2) dialog.OfferExport(static_cast<int>(segments.size()));
    if (!context_.services.runSettings(dialog)) return;
    QStringList refused;
    std::set<std::string> asked;  // the types of file a change of container was asked about
    for (const JoinFile& file : files) {
        OutputChoice output = dialog.choice();
        output.name = CleanFileName(DefaultOutputName(file.path));  // each file's output is named after it
        ConversionJob apart;
        LaunchResult result;
        QueueEntry entry;
        entry.direct = output.direct;
        if (segments.size() >= 2) {
            SegmentsLaunch launch{file, segments, dialog.exportMode(), false, output};
            launch.chapters = launch.mode != ExportMode::Separate && dialog.chapters();
            PrepareSegmentsJob(apart, launch);
            result = FillSegmentsJob(apart, launch, PathExists);
            entry.words = SegmentsJobWords(launch, 0);
            entry.what = SegmentsWhat(context_, launch);
        } else {
            const int64_t lengthMs = file.lengthMicros / 1000;
            const Segment part = segments.empty() ? Segment{0, file.lengthMicros, {}} : segments.front();
            const CutLaunch cut{file.path, static_cast<int32_t>(part.startMicros / 1000),
                                static_cast<int32_t>(std::min<int64_t>(part.endMicros / 1000, INT32_MAX)), output,
                                file.tracks};
            PrepareCutJob(apart);
            result = lengthMs > 0 && cut.startMs >= lengthMs ? LaunchResult{LaunchStatus::BadSegment, -1, {}, {}}
                                                             : FillCutJob(apart, cut, PathExists);
            entry.words = CutJobWords(cut, 0);
            entry.what = CutWhat(context_, cut);
        }
        if (!result.ok()) {
            refused << QFileInfo(ToQString(file.path)).fileName();
            continue;
        }
        // A change of container is asked about once for each type of file.
        if (asked.insert(FileExtensionText(file.path)).second &&
            !ContainerChangeAccepted(context_.window, context_.window->windowTitle(), apart, context_.table,
                                     *context_.services.messages))
            return;
        entry.what += OutputsText(apart);
        launcher_->queueRunner()->Add(std::move(entry));
    }
    launcher_->ShowQueue();
    if (!refused.isEmpty()) context_.Tell(context_.FileText("QUEUE", "yybf") + "\n" + refused.join("\n"));
}

}  // namespace ulvane
