// The main window's track choice: the track list under the segment list, the choice kept for
// each file while the program runs, and what the launches take from it.
#include <QFileInfo>

#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/track_list.h"

namespace ulvane {

void CUlvaneAVConverterDlg::SetUpTracks() {
    trackList_ = new TrackList(this);
    trackList_->setObjectName("trackList");
    connect(trackList_, &TrackList::changed, this, [this] {
        if (cutSourcePath_.isEmpty()) return;
        trackChoices_[cutSourcePath_] = {trackList_->Choice(), trackList_->KeepsPictureOrSound()};
    });
}

void CUlvaneAVConverterDlg::ShowTracksOfSource() {
    // A file chosen before shows as the user left it; its tracks are read again, as the file
    // may have changed meanwhile (a choice that no longer fits fails the job with its reason).
    std::string error;
    std::vector<FileTrack> tracks = ListTracks(cutSourcePath_.toStdString(), error);
    trackList_->ShowTracks(std::move(tracks), trackChoices_.value(cutSourcePath_).list);
}

std::string CUlvaneAVConverterDlg::TracksOf(const QString& path) const {
    return trackChoices_.value(path).list;
}

bool CUlvaneAVConverterDlg::RefuseTrackChoice(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const QString file = ToQString(path);
        const auto chosen = trackChoices_.constFind(file);
        if (chosen == trackChoices_.constEnd() || chosen->playable) continue;
        services_.messages->Show(this, windowTitle(),
                                 ToQString(table_.ReadFromFile("TRACKS", "bnbl")).arg(QFileInfo(file).fileName()),
                                 true);
        return true;
    }
    return false;
}

}  // namespace ulvane
