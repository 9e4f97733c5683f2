// The cut tab's play of the result: the parts of the source an export takes, played in the
// preview one after another before anything is written.
#include "core/launch.h"
#include "ui/cut_preview.h"
#include "ui/cut_tab.h"
#include "ui/segment_list.h"
#include "ui/settings_dialog.h"
#include "ui/window_context.h"

namespace ulvane {

void CutTab::PlayResult() {
    if (path_.isEmpty()) return;
    const std::vector<Segment>& list = segmentList_->segments();
    // The mode the cut settings dialog keeps for the next export.
    const bool outside = context_.store.ReadRow(settings_keys::kCut, settings_keys::kExportMode) ==
                         static_cast<int>(ExportMode::MergeOutside);
    std::vector<PlayerClip> clips;
    resultSegments_.clear();
    if (outside) {
        for (const Segment& s : OutsideSegments(list, info_.durationMicros))
            clips.push_back({s.startMicros, s.endMicros});
    } else {
        for (size_t i = 0; i < list.size(); ++i) {
            const Segment& s = list[i];
            const int64_t end = info_.durationMicros > 0 ? std::min(s.endMicros, info_.durationMicros) : s.endMicros;
            if (end <= s.startMicros) continue;  // the player leaves it out too
            clips.push_back({s.startMicros, end});
            resultSegments_.push_back(static_cast<int>(i));
        }
    }
    preview_->PlayResult(std::move(clips));
}

void CutTab::FollowResultClip(int clip) {
    if (clip < 0 || clip >= static_cast<int>(resultSegments_.size())) return;
    const int segment = resultSegments_[size_t(clip)];
    if (segment >= static_cast<int>(segmentList_->segments().size()) || segment == segmentList_->selected()) return;
    // The selection follows without a step of its own: undo goes back over edits, not over playback.
    SegmentState next = segmentList_->state();
    next.selected = segment;
    segmentList_->Amend(std::move(next));
}

}  // namespace ulvane
