// The preview's playback.
#include "ui/preview_player.h"

#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <utility>

#include "ui/preview_frame.h"
#include "ui/sound_device.h"

namespace ulvane {

namespace {

// The timer's period: a picture is due at most this late, well inside the 50 ms the window
// may go without painting.
constexpr int kTurnMs = 10;

// The player's picture as an image, without copying its pixels: the image owns them.
QImage ImageOf(ShownPicture&& shown) {
    auto* pixels = new std::vector<uint8_t>(std::move(shown.rgb));
    return QImage(
        pixels->data(), shown.width, shown.height, shown.width * 3, QImage::Format_RGB888,
        [](void* p) { delete static_cast<std::vector<uint8_t>*>(p); }, pixels);
}

int64_t NowMs() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.elapsed();
}

}  // namespace

PreviewPlayer::PreviewPlayer(PreviewFrame* frame, QObject* parent)
    : QObject(parent), player_(std::make_unique<Player>()), frame_(frame) {
    sound_ = std::make_unique<SoundDevice>(*player_);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTurnMs);
    connect(&timer_, &QTimer::timeout, this, &PreviewPlayer::Turn);
    connect(sound_.get(), &SoundDevice::lost, this, [this] {
        // The device went away: playback goes on from where it is, on the system clock.
        if (!playing_) return;
        soundPresent_ = false;
        player_->SetSoundDevice(false);  // playing, the player goes on from where it is
    });
}

PreviewPlayer::~PreviewPlayer() {
    StopTimer();
    sound_.reset();  // its thread pulls from the player: it goes first
    player_.reset();
}

bool PreviewPlayer::Open(const QString& path, QSize box, QString& error) {
    Close();
    std::string why;
    if (!player_->Open(path.toStdString(), box.width(), box.height(), why)) {
        error = QString::fromStdString(why);
        return false;
    }
    path_ = path;
    return true;
}

void PreviewPlayer::Close() {
    if (playing_) Pause(true);
    player_->Close();
    clips_ = false;
    path_.clear();
    track_ = 0;
    shownFrom_ = -1;
    shownFor_ = 0;
}

bool PreviewPlayer::isOpen() const {
    return player_->isOpen();
}

const PlayerInfo& PreviewPlayer::info() const {
    return player_->info();
}

void PreviewPlayer::SetBox(QSize box) {
    if (isOpen()) player_->SetBox(box.width(), box.height());
}

void PreviewPlayer::SetClips(std::vector<PlayerClip> clips) {
    if (playing_) Pause(true);
    clips_ = !clips.empty();
    player_->SetClips(std::move(clips));
    shownFrom_ = shownAt_ = -1;
    shownFor_ = 0;
}

int64_t PreviewPlayer::LengthMicros() const {
    return player_->LengthMicros();
}

int64_t PreviewPlayer::TimelineMicros() const {
    if (info().hasPictures && shownAt_ >= 0) return shownAt_;
    return player_->PositionMicros();
}

int PreviewPlayer::clipPlaying() const {
    int64_t source = 0;
    return player_->ClipAt(TimelineMicros(), source);
}

void PreviewPlayer::Play(int64_t fromMicros, double speed, int64_t untilMicros, bool loop) {
    if (!isOpen()) return;
    speed_ = speed;
    until_ = untilMicros;
    loop_ = loop;
    if (!playing_) {
        // The device is opened for each run of playback and let go when it stops, so a paused
        // preview holds no sound output.
        soundPresent_ = !info().soundTracks.empty() && sound_->Open();
        if (!soundPresent_) player_->SetSoundDevice(false);
    }
    shownFrom_ = shownAt_ = -1;
    shownFor_ = 0;
    player_->Play(fromMicros, speed, untilMicros, loop);
    if (playing_) return;
    playing_ = true;
    lastTurnMs_ = -1;
    longestGapMs_ = 0;
    timer_.start();
    emit playingChanged(true);
}

void PreviewPlayer::Pause(bool hold) {
    Stop(hold, false);
}

void PreviewPlayer::Stop(bool hold, bool ended) {
    if (!playing_) return;
    int64_t at = 0;
    player_->ClipAt(player_->Pause(), at);
    StopTimer();
    sound_->Close();
    playing_ = false;
    if (!hold) emit stopped(at, shownFrom_, shownFor_, ended);
    emit playingChanged(false);
}

int64_t PreviewPlayer::PositionMicros() const {
    if (info().hasPictures && shownFrom_ >= 0) return shownFrom_;
    int64_t source = 0;
    player_->ClipAt(player_->PositionMicros(), source);
    return source;
}

void PreviewPlayer::SetVolume(double volume) {
    player_->SetVolume(std::clamp(volume, 0.0, 1.0));
}

void PreviewPlayer::SetMuted(bool muted) {
    player_->SetMuted(muted);
}

void PreviewPlayer::ChooseSoundTrack(int place) {
    if (place < 0 || place >= static_cast<int>(info().soundTracks.size()) || place == track_) return;
    track_ = place;
    player_->ChooseSoundTrack(place);  // playing, the player goes on with it from where it is
}

PlayerFigures PreviewPlayer::figures() const {
    return player_->figures();
}

void PreviewPlayer::StopTimer() {
    timer_.stop();
}

void PreviewPlayer::Turn() {
    if (!playing_) return;
    const int64_t now = NowMs();
    if (lastTurnMs_ >= 0) longestGapMs_ = std::max(longestGapMs_, now - lastTurnMs_);
    lastTurnMs_ = now;
    player_->Update();
    PlayerPicture due;
    if (player_->TakePicture(due) && due.picture.width > 0 && due.picture.height > 0) {
        // In the file, where the part of the picture shown starts (a clip's start, for the
        // picture shown there).
        shownAt_ = due.fromMicros;
        player_->ClipAt(due.fromMicros, shownFrom_);
        shownFor_ = due.forMicros;
        frame_->ShowPicture(ImageOf(std::move(due.picture)));
        emit pictureShown(shownFrom_, shownFor_);
    }
    emit positionChanged(PositionMicros());
    if (!player_->ended()) return;
    // At the end, or at `until`: stopped where the last picture is, as a pause stops.
    Stop(false, true);
}

}  // namespace ulvane
