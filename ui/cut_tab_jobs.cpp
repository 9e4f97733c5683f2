// The cut tab's jobs: the marked segment cut, or the segments exported together, each filled
// from the cut settings dialog and handed to the JobLauncher.
#include <QDir>
#include <QLineEdit>

#include "core/job_words.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "engine/container_fit.h"
#include "ui/control_ids.h"
#include "ui/cut_tab.h"
#include "ui/job_launcher.h"
#include "ui/main_window_text.h"
#include "ui/settings_dialog.h"
#include "ui/track_choices.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

// Why a segments export cannot start, in the active language.
QString ExportRefusal(const WindowContext& context, const LaunchResult& result, const QString& source) {
    switch (result.status) {
        case LaunchStatus::BadSegment:
            return context.FileText("EXPORT", "dcyc").arg(result.problem.index + 1).arg(ToQString(result.problem.why));
        case LaunchStatus::NoSegments:
            return context.FileText("EXPORT", "mydc");
        case LaunchStatus::NameTooLong:
            return context.FileText("TISHI", "wjmtc");
        case LaunchStatus::HiddenLead:
            return context.FileText("TISHI", "bjyc") + "\n" + source;
        default:
            break;
    }
    return context.FileText("TISHI", "wkzm");  // a source named without "." has no container to copy into
}

// What the queue and the monitor say of a job of the loaded file.
void Describe(WindowJob& run, std::vector<std::string> words, std::string what, bool direct,
              const CFileInfomation& dialog, const std::string& source) {
    run.words = std::move(words);
    run.what = std::move(what);
    run.direct = direct;
    run.outputFolder = dialog.outputFolder();
    run.cutSourcePath = source;
}

// Why a job of `segments` (`single`: the marked cut) cannot start because one starts where the
// source has nothing left to show; "" when none does. A file cut short is named as such.
QString PastTheEnd(const WindowContext& context, const QString& path, const MediaInfo& info,
                   const std::vector<Segment>& segments, bool single) {
    const int64_t end = info.durationMicros;
    if (end <= 0) return {};
    const auto ms = [](int64_t micros) {
        return TimeText(static_cast<int32_t>(std::min<int64_t>(micros / 1000, INT32_MAX)));
    };
    const QString name = QDir::toNativeSeparators(path);
    for (size_t k = 0; k < segments.size(); ++k) {
        if (segments[k].startMicros < end) continue;
        QString why =
            single ? context.FileText("TISHI", "qdwh").arg(ms(segments[k].startMicros), name, ms(end))
                   : context.FileText("TISHI", "dcwh").arg(k + 1).arg(ms(segments[k].startMicros), name, ms(end));
        if (const QString note = CutShortNote(context, path, info); !note.isEmpty()) why += "\n\n" + note;
        return why;
    }
    return {};
}

}  // namespace

bool CutTab::RefuseUntypedBox() const {
    for (auto [box, label] : {std::pair{startBox_, "ksjq"}, std::pair{endBox_, "jsjq"}}) {
        if (TypedTime(box)) continue;
        context_.Tell(context_.Text("JIEMIAN", label) + " \"" + box->text() + "\" " +
                      context_.FileText("TISHI", "sjgs"));
        box->setFocus();
        return true;
    }
    return false;
}

bool CutTab::ApplyTurn(ConversionJob& job, const OutputChoice& choice) const {
    const int turn = turns_.value(path_, 0);
    job.rotateDegrees = turn;
    if (turn == 0 || !choice.direct) return true;
    // A copy keeps the pictures as they are: only a container with a display rotation turns them.
    std::string extension = DirectExtension(choice, path_.toStdString());
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    if (StoresRotation(extension)) return true;
    context_.Tell(context_.FileText("PLAYER", "xzbc").arg(ToQString(extension)));
    return false;
}

void CutTab::LaunchCut() {
    // Two segments or more go out together, as the cut settings say; one is cut as marked.
    if (const std::vector<Segment> segments = Segments(); segments.size() >= 2 && !path_.isEmpty()) {
        LaunchExport(segments);
        return;
    }
    if (path_.isEmpty()) {
        context_.Tell(context_.Text("TISHI", "qxtjsp"));
        return;
    }
    // A box whose text is no time is named, before anything else happens.
    if (RefuseUntypedBox() || tracks_->Refuse({path_.toStdString()})) return;
    if (const QString why = PastTheEnd(context_, path_, info_, {*TypedMarks()}, true); !why.isEmpty())
        return context_.Tell(why);
    WindowJob run;
    ConversionJob& job = *run.job;
    PrepareCutJob(job);
    const std::string source = path_.toStdString();
    CFileInfomation dialog(context_.store, context_.table, *context_.services.messages, context_.services.pickFolder,
                           ToQString(DefaultOutputName(source)), context_.window);
    dialog.ProposeFolder(ProposedOutputFolder(path_));
    dialog.SetSources({{source, tracks_->Of(path_)}});
    if (!context_.services.runSettings(dialog)) return;
    const CutLaunch cut{source, *TypedTime(startBox_), *TypedTime(endBox_), dialog.choice(), tracks_->Of(path_)};
    if (const LaunchResult launch = FillCutJob(job, cut, PathExists); !launch.ok()) {
        // A source named without "." has no container to copy into.
        const bool tooLong = launch.status == LaunchStatus::NameTooLong;
        context_.Tell(context_.Text("TISHI", tooLong ? "wjmtc" : "wkzm"));
        return;
    }
    if (!ApplyTurn(job, dialog.choice())) return;
    Describe(run, CutJobWords(cut, job.rotateDegrees), CutWhat(context_, cut), cut.output.direct, dialog, source);
    launcher_->Launch(std::move(run));
}

void CutTab::LaunchExport(const std::vector<Segment>& segments) {
    if (segments.size() < 2 || path_.isEmpty()) return LaunchCut();  // the convert button's own
    if (tracks_->Refuse({path_.toStdString()})) return;
    if (const QString why = PastTheEnd(context_, path_, info_, segments, false); !why.isEmpty())
        return context_.Tell(why);
    const std::string source = path_.toStdString();
    CFileInfomation dialog(context_.store, context_.table, *context_.services.messages, context_.services.pickFolder,
                           ToQString(DefaultOutputName(source)), context_.window);
    dialog.ProposeFolder(ProposedOutputFolder(path_));
    dialog.SetSources({{source, tracks_->Of(path_)}});
    dialog.OfferExport(static_cast<int>(segments.size()));
    if (!context_.services.runSettings(dialog)) return;
    SegmentsLaunch launch;
    launch.file = DescribedFile(source, info_);
    launch.file.tracks = tracks_->Of(path_);
    launch.segments = segments;
    launch.mode = dialog.exportMode();
    launch.chapters = launch.mode != ExportMode::Separate && dialog.chapters();
    launch.output = dialog.choice();
    WindowJob run;
    ConversionJob& job = *run.job;
    PrepareSegmentsJob(job, launch);
    std::vector<size_t> order;
    if (const LaunchResult result = FillSegmentsJob(job, launch, PathExists, &order); !result.ok()) {
        context_.Tell(ExportRefusal(context_, result, path_));
        return;
    }
    if (!ApplyTurn(job, launch.output)) return;
    // The report names each input by its place, and a segment by its label too (the segments
    // of one output file stand together).
    const bool outside = launch.mode == ExportMode::MergeOutside;
    run.cutParts = outside ? CutParts::kOutside : CutParts::kSegments;
    if (!outside)
        for (size_t k : order) run.partLabels.push_back(segments[k].label);
    Describe(run, SegmentsJobWords(launch, job.rotateDegrees), SegmentsWhat(context_, launch), launch.output.direct,
             dialog, source);
    launcher_->Launch(std::move(run));
}

}  // namespace ulvane
