#include "ui/track_choices.h"

#include <QFileInfo>

#include "engine/track_choice.h"
#include "ui/track_list.h"
#include "ui/window_context.h"

namespace ulvane {

TrackChoices::TrackChoices(const WindowContext& context, QWidget* listParent) : QObject(listParent), context_(context) {
    list_ = new TrackList(listParent);
    list_->setObjectName("trackList");
    connect(list_, &TrackList::changed, this, [this] {
        if (!path_.isEmpty()) choices_[path_] = {list_->Choice(), list_->KeepsPictureOrSound()};
    });
}

void TrackChoices::Show(const QString& path) {
    path_ = path;
    // A file chosen before shows as the user left it; its tracks are read again, as the file
    // may have changed meanwhile (a choice that no longer fits fails the job with its reason).
    std::string error;
    std::vector<FileTrack> tracks = ListTracks(path.toStdString(), error);
    list_->ShowTracks(std::move(tracks), choices_.value(path).list);
}

std::string TrackChoices::Of(const QString& path) const {
    return choices_.value(path).list;
}

bool TrackChoices::Refuse(const std::vector<std::string>& paths) const {
    for (const std::string& path : paths) {
        const QString file = QString::fromStdString(path);
        const auto chosen = choices_.constFind(file);
        if (chosen == choices_.constEnd() || chosen->playable) continue;
        context_.Tell(context_.FileText("TRACKS", "bnbl").arg(QFileInfo(file).fileName()));
        return true;
    }
    return false;
}

}  // namespace ulvane
