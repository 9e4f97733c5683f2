// The player's controls beside the play button: its face (play or pause) and its menu, mute,
// volume, the sound track box and the loop box. They set the player's sound and name its
// tracks; where and how playback goes is CutPreview's.
#pragma once

#include <QImage>
#include <QObject>

namespace ulvane {

class PreviewPlayer;
struct WindowContext;

class PlayerControls : public QObject {
    Q_OBJECT

public:
    PlayerControls(const WindowContext& context, PreviewPlayer* player, QObject* parent);

    void ApplyTexts();
    // The sound tracks of the player in the box (emptied when `listed` is false).
    void ListSoundTracks(bool listed);
    void ShowForTab(bool cutTab);
    // The play button's face and the mute button's tooltip as playback now is.
    void ShowPlayState();
    bool loop() const;
    int soundTrack() const;

signals:
    void playSegmentAsked();
    void playResultAsked();
    void desktopPlayerAsked();

private:
    const WindowContext& context_;
    PreviewPlayer* player_;
    QImage playFace_, pauseFace_;
};

}  // namespace ulvane
