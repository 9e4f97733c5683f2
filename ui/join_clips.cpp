// Clip rows of the join list.
#include "ui/join_clips.h"

#include <QTableWidgetItem>
#include <algorithm>

#include "controls/check_list.h"
#include "core/output_naming.h"
#include "engine/media_probe.h"
#include "ui/control_ids.h"
#include "ui/main_window_text.h"

namespace ulvane {

QString MicrosText(int64_t micros) {
    return TimeText(static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX)));
}

QString ClipRangeText(const Segment& clip) {
    return MicrosText(clip.startMicros) + QString::fromUtf8("\u2013") + MicrosText(clip.endMicros);
}

void MakeClipRow(CCheckListCtrl& list, int row, const Segment& clip, int64_t fileMicros, const QString& clipLine) {
    QTableWidgetItem* name = list.item(row, source_column::kPath);
    name->setData(clip_role::kClipped, true);
    name->setData(clip_role::kStart, static_cast<qint64>(clip.startMicros));
    name->setData(clip_role::kEnd, static_cast<qint64>(clip.endMicros));
    name->setData(clip_role::kLabel, QString::fromStdString(clip.label));
    name->setData(clip_role::kFileLength, static_cast<qint64>(fileMicros));
    if (!clip.label.empty()) name->setText(name->text() + QString::fromUtf8(" \u00b7 ") + ToQString(clip.label));
    list.item(row, source_column::kLength)->setText(ClipRangeText(clip));
    name->setToolTip(name->toolTip() + "\n" + clipLine);
}

std::optional<Segment> ClipOfRow(const CCheckListCtrl& list, int row) {
    const QTableWidgetItem* name = list.item(row, source_column::kPath);
    if (!name || !name->data(clip_role::kClipped).toBool()) return std::nullopt;
    return Segment{name->data(clip_role::kStart).toLongLong(), name->data(clip_role::kEnd).toLongLong(),
                   name->data(clip_role::kLabel).toString().toStdString()};
}

JoinFile JoinFileOfRow(const CCheckListCtrl& list, int row) {
    const auto text = [&](int column) { return list.item(row, column)->text(); };
    const QTableWidgetItem* path = list.item(row, source_column::kPath);
    JoinFile f;
    f.path = path->data(join_role::kFilePath).toString().toStdString();
    f.type = text(source_column::kType).toStdString();
    f.size = path->data(join_role::kCodedSize).toString().toStdString();  // a direct join copies them so
    f.lengthMicros = int64_t{TimeFromText(text(source_column::kLength))} * 1000;
    f.hidesLeadingPictures = path->data(join_role::kHidesLead).toBool();
    f.videoCodec = path->data(join_role::kVideoCodec).toString().toStdString();
    f.audioCodec = path->data(join_role::kAudioCodec).toString().toStdString();
    f.sampleRate = path->data(join_role::kSampleRate).toInt();
    f.channels = path->data(join_role::kChannels).toInt();
    f.otherTracks = path->data(join_role::kOtherTracks).toString().toStdString();
    f.reorderDepth = path->data(join_role::kReorderDepth).toInt();
    if (const std::optional<Segment> clip = ClipOfRow(list, row)) {
        f.clipped = true;
        f.startMicros = clip->startMicros;
        f.endMicros = clip->endMicros;
        f.label = clip->label;
        f.lengthMicros = path->data(clip_role::kFileLength).toLongLong();
    }
    return f;
}

void KeepTracks(JoinFile& file, const std::string& tracks) {
    file.tracks = tracks;
    if (tracks.empty() || !file.described) return;
    ConversionJob probe;
    probe.probePath = file.path;
    probe.probeTracks = tracks;
    if (ProbeMediaFile(probe, ProbeDepth::Streams) != kProbeOk) return;
    DescribeStreams(file, probe.info);
}

}  // namespace ulvane
