// The main window's playback: the play button and its menu, the shuttle keys, segment play,
// volume, mute and the sound track, and the seek bar, position text and marks following the
// pictures the player shows. The player (PreviewPlayer) owns the engine's player and the
// sound device; this file only composes it with the window.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>

#include "controls/bitmap_slider.h"
#include "controls/control_button.h"
#include "ui/control_ids.h"
#include "ui/exact_pictures.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"
#include "ui/segment_list.h"

namespace ulvane {

namespace {

using namespace main_id;

int32_t Millis(int64_t micros) {
    return static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX));
}

// The play button's face while playing: its round face with two bars where the triangle was.
// Each row of the triangle's place takes the colour the face has beside it, so the face's
// shading stays.
QImage PauseFace(const QImage& play) {
    if (play.isNull()) return play;
    QImage face = play.convertToFormat(QImage::Format_RGB32);
    const QRect picto(12, 8, 14, 17);  // where generate_images.py draws the triangle (34 x 32 face)
    if (!face.rect().contains(picto)) return face;
    for (int y = picto.top(); y <= picto.bottom(); ++y) {
        const QRgb beside = face.pixel(picto.left() - 3, y);
        for (int x = picto.left(); x <= picto.right(); ++x) face.setPixel(x, y, beside);
    }
    QPainter p(&face);
    const QColor bar(250, 251, 252);
    p.fillRect(QRect(12, 9, 4, 14), bar);
    p.fillRect(QRect(19, 9, 4, 14), bar);
    return face;
}

}  // namespace

void CUlvaneAVConverterDlg::SetUpPlayer() {
    player_ = new PreviewPlayer(preview_, this);
    connect(player_, &PreviewPlayer::pictureShown, this, &CUlvaneAVConverterDlg::OnPlaybackPicture);
    connect(player_, &PreviewPlayer::positionChanged, this, &CUlvaneAVConverterDlg::OnPlaybackPosition);
    connect(player_, &PreviewPlayer::stopped, this, &CUlvaneAVConverterDlg::OnPlaybackStopped);
    connect(player_, &PreviewPlayer::playingChanged, this, &CUlvaneAVConverterDlg::ShowPlayState);

    playFace_ = Image(326);
    pauseFace_ = PauseFace(playFace_);
    // The play button's menu: segment play, the loop, and the desktop's own player.
    auto* play = ItemAs<CControlButton>(kPlayButton);
    play->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* segment = new QAction(play);
    segment->setObjectName("playSegment");
    connect(segment, &QAction::triggered, this, &CUlvaneAVConverterDlg::PlaySegment);
    auto* outside = new QAction(play);
    outside->setObjectName("openInPlayer");
    connect(outside, &QAction::triggered, this, &CUlvaneAVConverterDlg::OpenInDesktopPlayer);
    play->addActions({segment, outside});

    auto* mute = ItemAs<QToolButton>(kMuteButton);
    mute->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));
    connect(mute, &QToolButton::toggled, this, [this, mute](bool muted) {
        mute->setIcon(style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
        player_->SetMuted(muted);
    });
    auto* volume = ItemAs<QSlider>(kVolumeSlider);
    volume->setValue(100);
    connect(volume, &QSlider::valueChanged, this, [this](int v) { player_->SetVolume(v / 100.0); });
    auto* tracks = ItemAs<QComboBox>(kSoundTrackBox);
    connect(tracks, &QComboBox::activated, this, [this](int place) { player_->ChooseSoundTrack(place); });
    // A click on the box leaves the focus where it was: Space still plays.
    ItemAs<QCheckBox>(kLoopCheck)->setFocusPolicy(Qt::TabFocus);
    ApplyPlayerTexts();
    ShowPlayState();
}

void CUlvaneAVConverterDlg::ApplyPlayerTexts() {
    const auto text = [&](const char* key) { return ToQString(table_.ReadFromFile("PLAYER", key)); };
    ItemAs<QToolButton>(kMuteButton)->setToolTip(text("jy"));
    ItemAs<QSlider>(kVolumeSlider)->setToolTip(text("yl"));
    ItemAs<QComboBox>(kSoundTrackBox)->setToolTip(text("yg"));
    ItemAs<QCheckBox>(kLoopCheck)->setText(text("xh"));
    ItemAs<QCheckBox>(kLoopCheck)->setToolTip(text("xhts"));
    auto* play = Item(kPlayButton);
    for (QAction* a : play->actions()) a->setText(text(a->objectName() == "playSegment" ? "bfpd" : "wbbf"));
}

void CUlvaneAVConverterDlg::ShowPlayerControls(bool cutTab) {
    if (!cutTab) PausePlayback();  // the preview is out of sight
    auto* tracks = ItemAs<QComboBox>(kSoundTrackBox);
    tracks->setVisible(cutTab && tracks->count() > 1);
}

void CUlvaneAVConverterDlg::ForgetPlayer() {
    player_->Close();
    playedToEnd_ = false;
    resumeAfterDrag_ = false;
    pausedAt_ = -1;
    auto* tracks = ItemAs<QComboBox>(kSoundTrackBox);
    tracks->clear();
    // With several sound tracks the player opens now, to name them in the box.
    if (cutInfo_.audioTracks > 1) {
        QString error;
        if (player_->Open(cutSourcePath_, PreviewBox(), error)) {
            int place = 0;
            for (const PlayerSoundTrack& t : player_->info().soundTracks) {
                // Short in the box ("2 deu"), whole in its tooltip.
                QString name = QString::number(++place);
                if (!t.language.empty()) name += " " + QString::fromStdString(t.language);
                tracks->addItem(name);
                QStringList about;
                if (!t.title.empty()) about << QString::fromStdString(t.title);
                about << QString::fromStdString(t.codec);
                if (t.channels > 0) about << ToQString(table_.ReadFromFile("PLAYER", "sdl")).arg(t.channels);
                tracks->setItemData(tracks->count() - 1, about.join(", "), Qt::ToolTipRole);
            }
        }
    }
    ShowPlayerControls(tabs_->currentIndex() == 0);
    FitToTexts();
    ShowPlayState();
}

bool CUlvaneAVConverterDlg::OpenPlayer() {
    if (player_->isOpen() && player_->path() == cutSourcePath_) return true;
    QString error;
    if (player_->Open(cutSourcePath_, PreviewBox(), error)) {
        player_->ChooseSoundTrack(std::max(0, ItemAs<QComboBox>(kSoundTrackBox)->currentIndex()));
        return true;
    }
    const QString name = QFileInfo(cutSourcePath_).fileName();
    services_.messages->Show(this, windowTitle(),
                             ToQString(table_.ReadFromFile("PLAYER", "bnbf")).arg(name) + "\n\n" + error, true);
    return false;
}

void CUlvaneAVConverterDlg::Play() {
    if (cutSourcePath_.isEmpty()) return;  // nothing loaded: nothing to play
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier) return OpenInDesktopPlayer();
    TogglePlayback();
}

void CUlvaneAVConverterDlg::OpenInDesktopPlayer() {
    if (cutSourcePath_.isEmpty()) return;
    PausePlayback();
    services_.open(cutSourcePath_);
}

void CUlvaneAVConverterDlg::TogglePlayback() {
    if (cutSourcePath_.isEmpty()) return;
    if (player_->playing()) return PausePlayback();
    StartPlayback(PlaybackStart(), 1.0);
}

int64_t CUlvaneAVConverterDlg::PlaybackStart() const {
    if (playedToEnd_) return 0;
    // The picture shown starts playback; else the position (a key frame's picture, a file
    // without pictures). Still on the picture playback stopped at, the player's own time for it
    // (the exact still's may differ by a rounding), so it resumes with what it has queued.
    if (!ShowsExactPictureAtPosition()) return int64_t{previewPositionMs_} * 1000;
    return pausedAt_ >= 0 && std::abs(shownFrom_ - pausedAt_) < 1000 ? pausedAt_ : shownFrom_;
}

void CUlvaneAVConverterDlg::Shuttle(int direction) {
    if (cutSourcePath_.isEmpty()) return;
    if (direction == 0) return PausePlayback();
    const double now = player_->playing() ? player_->speed() : 0.0;
    // Again in the same direction: twice as fast, up to four times.
    const double speed = now * direction > 0 ? std::clamp(now * 2, -4.0, 4.0) : direction;
    const int64_t from = player_->playing() ? player_->PositionMicros() : PlaybackStart();
    StartPlayback(direction < 0 && playedToEnd_ ? int64_t{previewPositionMs_} * 1000 : from, speed);
}

void CUlvaneAVConverterDlg::PlaySegment() {
    if (cutSourcePath_.isEmpty()) return;
    const std::vector<Segment> list = Segments();
    const int selected = SelectedSegment();
    int64_t from = cutInfo_.rangeStartMicros, to = cutInfo_.rangeEndMicros;
    if (selected >= 0 && selected < static_cast<int>(list.size())) {
        from = list[size_t(selected)].startMicros;
        to = list[size_t(selected)].endMicros;
    }
    if (to <= from) return;
    StartPlayback(from, 1.0, to, ItemAs<QCheckBox>(kLoopCheck)->isChecked());
}

void CUlvaneAVConverterDlg::StartPlayback(int64_t fromMicros, double speed, int64_t untilMicros, bool loop) {
    if (cutSourcePath_.isEmpty() || !OpenPlayer()) return;
    playedToEnd_ = false;
    resumeAfterDrag_ = false;
    // Answers asked for before are of another time; a mark waiting for one takes its time now.
    exact_->Forget();
    pendingMark_ = Mark::kNone;
    stepping_ = false;
    player_->SetBox(PreviewBox());
    player_->Play(std::clamp<int64_t>(fromMicros, 0, std::max<int64_t>(cutInfo_.durationMicros, 0)), speed, untilMicros,
                  loop);
    ShowPlayState();
}

void CUlvaneAVConverterDlg::PausePlayback() {
    resumeAfterDrag_ = false;
    if (player_ && player_->playing()) player_->Pause();
}

void CUlvaneAVConverterDlg::PauseForStep() {
    PausePlayback();
}

void CUlvaneAVConverterDlg::OnPlaybackPicture(qint64 fromMicros, qint64 forMicros) {
    shownFrom_ = fromMicros;
    shownFor_ = forMicros;
    FollowPlayback(fromMicros);
}

void CUlvaneAVConverterDlg::OnPlaybackPosition(qint64 micros) {
    // With pictures the position follows them; a file of sound alone follows the clock.
    if (!player_->info().hasPictures) FollowPlayback(micros);
}

void CUlvaneAVConverterDlg::FollowPlayback(int64_t micros) {
    previewPositionMs_ = Millis(micros);
    seekBar_->SetPosition(SeekPosition(micros));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    const double speed = player_->speed();
    if (player_->playing() && speed != 1.0)
        positionText_->setText(positionText_->text() +
                               QString("  %1%2\u00d7").arg(speed < 0 ? "\u25c2" : "").arg(std::abs(speed)));
}

void CUlvaneAVConverterDlg::OnPlaybackStopped(qint64 micros, qint64 shownFrom, qint64 shownFor, bool ended) {
    playedToEnd_ = ended && player_->untilMicros() < 0 && player_->speed() > 0;
    pausedAt_ = micros;
    FollowPlayback(shownFrom >= 0 ? shownFrom : micros);
    if (shownFrom < 0) return;
    // The picture stays, and the exact still of it follows from the pictures' thread (asked
    // for in its middle, so no rounding can land on its neighbour).
    shownFrom_ = shownFrom;
    shownFor_ = shownFor;
    RequestExactMicros(shownFor > 0 ? shownFrom + shownFor / 2 : shownFrom, false);
}

void CUlvaneAVConverterDlg::ShowPlayState() {
    auto* play = ItemAs<CControlButton>(kPlayButton);
    const QImage& face = player_ && player_->playing() ? pauseFace_ : playFace_;
    play->SetFaceBitmaps(face, face, face, face);
    play->update();
    // The mute button says when there is no device to hear.
    if (!player_) return;
    const bool silent = player_->playing() && !player_->soundDevicePresent() && !player_->info().soundTracks.empty();
    ItemAs<QToolButton>(kMuteButton)->setToolTip(ToQString(table_.ReadFromFile("PLAYER", silent ? "wsb" : "jy")));
}

bool CUlvaneAVConverterDlg::HoldPlaybackForDrag() {
    if (!player_->playing()) return resumeAfterDrag_;
    resumeSpeed_ = player_->speed();
    player_->Pause(true);
    resumeAfterDrag_ = true;
    return true;
}

bool CUlvaneAVConverterDlg::ResumeAfterSeek(int position) {
    if (!resumeAfterDrag_ && !player_->playing()) return false;
    const double speed = resumeAfterDrag_ ? resumeSpeed_ : player_->speed();
    const double total = static_cast<double>(cutInfo_.durationMicros);
    const auto at = static_cast<int64_t>(total * position / 1000.0);
    FollowPlayback(at);
    StartPlayback(at, speed);
    return true;
}

bool CUlvaneAVConverterDlg::SeekWhilePlaying(int64_t micros) {
    if (!player_->playing()) return false;
    FollowPlayback(micros);
    StartPlayback(micros, player_->speed());
    return true;
}

}  // namespace ulvane
