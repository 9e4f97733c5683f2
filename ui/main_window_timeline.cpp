// The main window's timeline strip: its place above the seek bar, the loaded file in it (the
// feeder fills it in the background), the segments as its bands, the key frames and the
// position, and its presses and drags, which move the preview as the seek bar's drag does.
#include <QApplication>
#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/timeline_strip.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_player.h"
#include "ui/segment_list.h"
#include "ui/timeline_feeder.h"

namespace ulvane {

namespace {

// Under the strip, between it and the seek bar.
constexpr int kStripGap = 4;

}  // namespace

void CUlvaneAVConverterDlg::SetUpTimeline() {
    strip_ = new TimelineStrip(this);
    strip_->setObjectName("timelineStrip");
    feeder_ = new TimelineFeeder(strip_, services_.timelineCacheDir, this);
    connect(strip_, &TimelineStrip::seekRequested, this, &CUlvaneAVConverterDlg::OnStripSeek);
    connect(strip_, &TimelineStrip::seekReleased, this, &CUlvaneAVConverterDlg::OnStripSeekReleased);
}

int CUlvaneAVConverterDlg::StripRoom() const {
    return strip_->minimumSizeHint().height() + kStripGap;
}

void CUlvaneAVConverterDlg::ShowTimelineOfSource() {
    TimelineFeeder::Source s;
    s.path = cutSourcePath_;
    s.durationMicros = cutInfo_.durationMicros;
    if (!cutInfo_.videoCodec.empty() && cutInfo_.videoWidth > 0 && cutInfo_.videoHeight > 0) {
        s.width = cutInfo_.videoWidth;
        s.height = cutInfo_.videoHeight;
    }
    if (cutInfo_.frameRateDen > 0 && cutInfo_.frameRateNum > 0)
        s.rate = static_cast<double>(cutInfo_.frameRateNum) / cutInfo_.frameRateDen;
    s.hasSound = !cutInfo_.audioCodec.empty();
    stripSeek_ = -1;
    feeder_->Load(s);
    strip_->SetKeyFrames({keyFrames_.begin(), keyFrames_.end()});
    ShowTimelineSegments();
}

void CUlvaneAVConverterDlg::ShowTimelineSegments() {
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    std::vector<TimelineStrip::Band> bands;
    // The selected segment last, in its brighter colour, over the others.
    for (size_t i = 0; i < list.size(); ++i)
        if (static_cast<int>(i) != selected)
            bands.push_back({list[i].startMicros, list[i].endMicros, SegmentList::Colour(static_cast<int>(i), false)});
    if (selected >= 0 && selected < static_cast<int>(list.size()))
        bands.push_back({list[size_t(selected)].startMicros, list[size_t(selected)].endMicros,
                         SegmentList::Colour(selected, true)});
    strip_->SetSegments(std::move(bands));
}

void CUlvaneAVConverterDlg::OnStripSeek(qint64 micros) {
    if (cutSourcePath_.isEmpty()) return;
    // As a seek-bar drag: playback holds, and moves that come during a grab fold into one
    // grab of the newest time.
    HoldPlaybackForDrag();
    seekBar_->SetPosition(SeekPosition(micros));
    const bool scheduled = stripSeek_ >= 0;
    stripSeek_ = micros;
    if (scheduled) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const qint64 at = stripSeek_;
            stripSeek_ = -1;
            if (at < 0 || cutSourcePath_.isEmpty() || player_->playing()) return;
            previewPositionMs_ = static_cast<int32_t>(std::clamp<qint64>(at / 1000, 0, INT32_MAX));
            shownPosition_ = seekBar_->GetPosition();
            ShowPositionText();
            ShowPreviewFrame(static_cast<double>(at) / 1e6);
        },
        Qt::QueuedConnection);
}

void CUlvaneAVConverterDlg::OnStripSeekReleased(qint64 micros) {
    if (cutSourcePath_.isEmpty()) return;
    if (resumeAfterDrag_ || player_->playing()) {
        // Playing on from where the button came up.
        const double speed = resumeAfterDrag_ ? resumeSpeed_ : player_->speed();
        stripSeek_ = -1;
        FollowPlayback(micros);
        StartPlayback(micros, speed);
        return;
    }
    // Once the pointer rests, the exact picture there follows the key frame's.
    OnStripSeek(micros);
    RequestExactMicros(micros, false);
}

}  // namespace ulvane
