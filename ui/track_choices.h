// The tracks chosen for each file while the program runs: the track list under the segment
// list shows the loaded file's, and every job from a file keeps its choice (a cut, an export
// of its segments, its clips in a join, whose direct-join check then compares the tracks kept).
#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

namespace ulvane {

class TrackList;
struct WindowContext;

class TrackChoices : public QObject {
    Q_OBJECT

public:
    TrackChoices(const WindowContext& context, QWidget* listParent);

    TrackList* list() const { return list_; }
    // The tracks of the file at `path` in the list, as the user left them for it.
    void Show(const QString& path);
    // The track list chosen for the file at `path` ("" every track).
    std::string Of(const QString& path) const;
    // Says so when the tracks chosen for one of `paths` keep no picture and no sound, and
    // returns true: the job does not start.
    bool Refuse(const std::vector<std::string>& paths) const;

private:
    struct Choice {
        std::string list;      // as TrackList::Choice gives it
        bool playable = true;  // a picture or sound track is kept
    };
    const WindowContext& context_;
    TrackList* list_;
    QString path_;
    QMap<QString, Choice> choices_;
};

}  // namespace ulvane
