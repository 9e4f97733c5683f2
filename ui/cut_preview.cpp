#include "ui/cut_preview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <cstdlib>

#include "controls/bitmap_slider.h"
#include "controls/timeline_strip.h"
#include "ui/control_ids.h"
#include "ui/exact_pictures.h"
#include "ui/key_frame_scan.h"
#include "ui/main_window_text.h"
#include "ui/player_controls.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"
#include "ui/timeline_feeder.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

int32_t Millis(int64_t micros) {
    return static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX));
}

}  // namespace

int SeekBarPlace(int64_t micros, int64_t durationMicros) {
    // A source shorter than a millisecond is all one place: its start is 0, its end 1000.
    const int64_t d = durationMicros / 1000;
    if (d <= 0) return micros > 0 ? 1000 : 0;
    return static_cast<int>(std::clamp<int64_t>(micros / 1000 * 1000 / d, 0, 1000));
}

CutPreview::CutPreview(const WindowContext& context, QObject* parent)
    : QObject(parent),
      context_(context),
      frame_(context.ItemAs<PreviewFrame>(main_id::kPreview)),
      seekBar_(context.ItemAs<CBitmapSlider>(main_id::kSeekBar)) {
    frame_->setFocusPolicy(Qt::ClickFocus);  // a click on the picture gives Space to playback
    strip_ = new TimelineStrip(context_.window);
    strip_->setObjectName("timelineStrip");
    feeder_ = new TimelineFeeder(strip_, context_.services.timelineCacheDir, this);
    // A press or drag on the strip moves the preview as the seek bar's drag does; where the
    // pointer rests, the exact picture follows.
    connect(strip_, &TimelineStrip::seekRequested, this, [this](qint64 at) { Seek(at, Precision::kKeyFrame); });
    connect(strip_, &TimelineStrip::seekReleased, this, [this](qint64 at) { Seek(at, Precision::kExact); });
    exact_ = new ExactPictures(this);
    connect(exact_, &ExactPictures::ready, this, &CutPreview::OnExactPicture);
    scan_ = new KeyFrameScan(this);
    connect(scan_, &KeyFrameScan::found, this, &CutPreview::OnKeyFrames);

    player_ = new PreviewPlayer(frame_, this);
    controls_ = new PlayerControls(context_, player_, this);
    connect(player_, &PreviewPlayer::pictureShown, this, [this](qint64 from, qint64 lasts) {
        shownFrom_ = from;
        shownFor_ = lasts;
        FollowPlayback(from);
    });
    // With pictures the position follows them; a file of sound alone follows the clock.
    connect(player_, &PreviewPlayer::positionChanged, this, [this](qint64 micros) {
        if (!player_->info().hasPictures) FollowPlayback(micros);
    });
    connect(player_, &PreviewPlayer::stopped, this, &CutPreview::OnPlaybackStopped);
    connect(player_, &PreviewPlayer::playingChanged, controls_, &PlayerControls::ShowPlayState);
    connect(controls_, &PlayerControls::playSegmentAsked, this, &CutPreview::playSegmentAsked);
    connect(controls_, &PlayerControls::playResultAsked, this, &CutPreview::playResultAsked);
    connect(controls_, &PlayerControls::desktopPlayerAsked, this, &CutPreview::OpenInDesktopPlayer);

    regrabTimer_.setSingleShot(true);
    regrabTimer_.setInterval(120);
    connect(&regrabTimer_, &QTimer::timeout, this, [this] {
        // The picture shown, at the new size: the exact one asked for last, not its key frame.
        if (path_.isEmpty() || frame_->picture().isNull()) return;
        if (player_->playing()) return player_->SetBox(PreviewBox());  // its next pictures at the new size
        const int64_t at = requestedAt_ >= 0 ? requestedAt_ : MillisecondMicros(positionMs_);
        exact_->Request(path_, static_cast<double>(at) / 1e6, PreviewBox());  // the same request, newer
    });
    // The seek bar: its pictures, a thousand places, disabled until a file is loaded.
    seekBar_->LoadChannelBitmaps(context_.Image(306), context_.Image(307));
    seekBar_->LoadThumbBitmaps(context_.Image(308), context_.Image(308));
    seekBar_->ShowFocusRect(true);  // every control shows the keyboard focus
    seekBar_->SetRange(0, 1000);
    seekBar_->SetPageSize(100);  // Page Up and Page Down move a tenth
    seekBar_->SetPosition(0);
    seekBar_->SetMargins(0, 4, 4, 0);
    seekBar_->setEnabled(false);  // until a file is loaded
    const auto at = [this](int place) { return info_.durationMicros * place / 1000; };
    // A drag shows key frames as fast as they come; keys (Home, End, arrows, Page keys) and the
    // end of a drag show the exact picture where the thumb rests.
    connect(seekBar_, &CBitmapSlider::sliderMoving, this,
            [this, at](int, int place) { Seek(at(place), Precision::kKeyFrame); });
    connect(seekBar_, &CBitmapSlider::sliderMoved, this,
            [this, at](int, int place) { Seek(at(place), Precision::kExact); });
}

CutPreview::~CutPreview() {
    delete feeder_;  // its worker stops and is joined
    delete player_;  // its threads end before what it paints into goes
    scan_->Stop();
}

void CutPreview::Load(const QString& path, const MediaInfo& info, int turn) {
    path_ = path;
    info_ = info;
    frame_->SetTurn(turn);
    LeaveResult();
    player_->Close();
    playedToEnd_ = false;
    heldSpeed_.reset();
    pausedAt_ = -1;
    // With several sound tracks the player opens now, to name them in the box.
    QString error;
    controls_->ListSoundTracks(info.audioTracks > 1 && player_->Open(path_, PreviewBox(), error));
    controls_->ShowForTab(true);
    controls_->ShowPlayState();
    exact_->Forget();
    ++request_;
    requestedAt_ = -1;
    keySeek_.reset();
    seekBar_->SetTicks({});
    scan_->Start(path_);
    GrabKeyPicture(0);
    shownPosition_ = 0;
    positionMs_ = 0;
    seekBar_->SetPosition(0);
    seekBar_->setEnabled(info.durationMicros / 1000 > 0);
    context_.ItemAs<QLabel>(main_id::kPositionText)
        ->setText(TimeText(Millis(info.rangeStartMicros)) + " / " + TimeText(Millis(info.rangeEndMicros)));
    TimelineFeeder::Source s;
    s.path = path_;
    s.durationMicros = info.durationMicros;
    if (!info.videoCodec.empty() && info.videoWidth > 0 && info.videoHeight > 0) {
        s.width = info.videoWidth;
        s.height = info.videoHeight;
    }
    if (info.frameRateDen > 0 && info.frameRateNum > 0)
        s.rate = static_cast<double>(info.frameRateNum) / info.frameRateDen;
    s.hasSound = !info.audioCodec.empty();
    feeder_->Load(s);
    strip_->SetKeyFrames({});
    context_.refit();  // the sound track box may show now
}

void CutPreview::Close() {
    scan_->Stop();
    Pause();
    grabber_.Release();
}

int CutPreview::Seek(int64_t micros, Precision precision) {
    if (path_.isEmpty()) return request_;
    LeaveResult();
    micros = std::clamp<int64_t>(micros, 0, std::max<int64_t>(info_.durationMicros, 0));
    if (precision == Precision::kKeyFrame) {
        // Playback holds for a drag; the thumb's rest plays on from there.
        if (player_->playing()) {
            heldSpeed_ = player_->speed();
            player_->Pause(true);
        }
        PlaceThumb(micros);
        // An exact picture asked for before is of another time now.
        exact_->Forget();
        ++request_;
        requestedAt_ = -1;
        // Grabs take a few milliseconds; moves that arrive meanwhile fold into one grab of the
        // newest time, so the preview never lags behind a fast drag.
        const bool queued = keySeek_.has_value();
        keySeek_ = micros;
        if (!queued) QMetaObject::invokeMethod(this, &CutPreview::TakeKeySeek, Qt::QueuedConnection);
        return request_;
    }
    if (PlayOnFrom(micros)) return request_;
    const int32_t ms = Millis(micros);
    // The key frame's picture shows at once, unless the picture there is shown already.
    const bool shown = !keySeek_ && ms == positionMs_ && !frame_->picture().isNull();
    keySeek_.reset();
    PlaceThumb(micros);
    positionMs_ = ms;
    ShowPositionText();
    if (!shown) GrabKeyPicture(micros);
    shownPosition_ = seekBar_->GetPosition();
    return RequestExact(MillisecondMicros(ms), false);
}

void CutPreview::PlaceThumb(int64_t micros) {
    // A seek from the thumb's own place, to the millisecond, leaves it where it is.
    if (Millis(info_.durationMicros * seekBar_->GetPosition() / 1000) != Millis(micros))
        seekBar_->SetPosition(SeekBarPlace(micros, info_.durationMicros));
}

void CutPreview::TakeKeySeek() {
    if (!keySeek_) return;
    const int64_t at = *keySeek_;
    keySeek_.reset();
    if (path_.isEmpty() || player_->playing()) return;  // playing on from the thumb's rest
    positionMs_ = Millis(at);
    ShowPositionText();
    GrabKeyPicture(at);
    shownPosition_ = seekBar_->GetPosition();
}

void CutPreview::GrabKeyPicture(int64_t micros) {
    ++grabCount_;
    const QString snapshot = snapshotPath();
    std::string error;
    // Grabbed at the size shown, besides the snapshot bitmap.
    const QSize box = PreviewBox();
    ShownPicture shown;
    if (!grabber_.Grab(path_.toStdString(), static_cast<double>(micros) / 1e6, snapshot.toStdString(), box.width(),
                       box.height(), shown, error)) {
        // The snapshot there is of another time or another file: neither is shown.
        QFile::remove(snapshot);
        frame_->Clear();
        return;
    }
    shownFrom_ = -1;  // a key frame's picture: not one to step from
    const QImage view(shown.rgb.data(), shown.width, shown.height, shown.width * 3, QImage::Format_RGB888);
    frame_->ShowPicture(view.copy());
    emit pictureShown(micros, 0, false, request_);
}

int CutPreview::RequestExact(int64_t micros, bool step) {
    if (path_.isEmpty()) return request_;
    requestSteps_ = step;
    requestedAt_ = micros;
    exact_->Request(path_, static_cast<double>(micros) / 1e6, PreviewBox());
    return ++request_;
}

void CutPreview::OnExactPicture(const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros) {
    // Playing, the player's pictures are on screen: an answer asked before is too old.
    if (path != path_ || picture.isNull() || player_->playing()) return;
    ++exactShown_;
    shownFrom_ = fromMicros;
    shownFor_ = forMicros;
    frame_->ShowPicture(picture);
    if (requestSteps_) {
        // Stepped to: the position is where that picture starts.
        requestSteps_ = false;
        positionMs_ = Millis(fromMicros);
        ShowPositionText();
    }
    emit pictureShown(fromMicros, forMicros, true, request_);
}

void CutPreview::Step(int pictures) {
    Pause();  // a step stops playback first
    LeaveResult();
    if (path_.isEmpty()) return;
    const int64_t d = info_.durationMicros;
    int64_t at = 0;
    if (shownFrom_ >= 0) {
        // Just before the picture shown, or where the next one starts.
        at = pictures < 0 ? shownFrom_ - 1 : shownFrom_ + shownFor_;
    } else {
        // No exact picture yet (a key frame's is shown): a picture's time from the position.
        const MediaInfo& i = info_;
        const int64_t frame =
            i.frameRateNum > 0 && i.frameRateDen > 0 ? int64_t{1'000'000} * i.frameRateDen / i.frameRateNum : 40'000;
        at = MillisecondMicros(positionMs_) + pictures * std::max<int64_t>(frame, 1000);
    }
    at = std::clamp<int64_t>(at, 0, std::max<int64_t>(d - 1, 0));
    positionMs_ = Millis(at);
    seekBar_->SetPosition(SeekBarPlace(at, d));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    RequestExact(at, true);
}

void CutPreview::StepKeyFrame(int step) {
    // Key frames are compared by the millisecond they are shown at, as the marks are.
    const int64_t at = OnScreen().micros / 1000;
    std::optional<int64_t> to;
    for (int64_t k : scan_->keys()) {
        if (step < 0 && k / 1000 < at) to = k / 1000;  // the last before
        if (step > 0 && k / 1000 > at) {
            to = k / 1000;  // the first after
            break;
        }
    }
    if (to) Seek(*to * 1000, Precision::kExact);
}

void CutPreview::OnKeyFrames() {
    const std::vector<int64_t>& keys = scan_->keys();
    const int64_t d = info_.durationMicros;
    std::vector<int> ticks;
    if (d > 0)
        for (int64_t k : keys)
            if (k >= 0 && k <= d) ticks.push_back(static_cast<int>(k * 1000 / d));
    seekBar_->SetTicks(std::move(ticks));
    strip_->SetKeyFrames({keys.begin(), keys.end()});
    emit keyFramesFound();
}

const std::vector<int64_t>& CutPreview::keyFrames() const {
    return scan_->keys();
}

void CutPreview::ShowPositionText() {
    QString text = TimeText(positionMs_) + " / " + TimeText(Millis(info_.durationMicros));
    // The result's parts: where in the result, too.
    if (playsResult())
        text +=
            "    " + context_.FileText("PLAYER", "bfxt")
                         .arg(TimeText(Millis(player_->TimelineMicros())), TimeText(Millis(player_->LengthMicros())));
    context_.ItemAs<QLabel>(main_id::kPositionText)->setText(text);
    // The strip's line too; while playing, its view follows.
    strip_->SetPosition(int64_t{positionMs_} * 1000, player_->playing());
}

QSize CutPreview::PreviewBox() const {
    return frame_->GrabBox().boundedTo(QSize(8192, 8192));
}

QString CutPreview::snapshotPath() const {
    return context_.services.snapshotFile;
}

bool CutPreview::ShowsExactPictureAtPosition() const {
    const int64_t at = MillisecondMicros(positionMs_);
    return shownFrom_ >= 0 && shownFrom_ <= at && at < shownFrom_ + std::max<int64_t>(shownFor_, 1);
}

CutPreview::Shown CutPreview::OnScreen() const {
    // Playing: the picture on screen now (each is exact), or the clock without pictures.
    if (player_->playing()) return {player_->PositionMicros(), true};
    if (ShowsExactPictureAtPosition()) return {shownFrom_, true};
    return {int64_t{positionMs_} * 1000, false};
}

void CutPreview::SetTurn(int degrees) {
    frame_->SetTurn(degrees);
    if (path_.isEmpty()) return;
    // The picture shown at once, turned; then grabbed again for the turned box.
    if (player_->playing())
        player_->SetBox(PreviewBox());
    else
        RequestExact(shownFrom_ >= 0 ? shownFrom_ : MillisecondMicros(positionMs_), false);
}

void CutPreview::Regrab() {
    if (!frame_->picture().isNull()) regrabTimer_.start();
}

void CutPreview::ApplyTexts() {
    controls_->ApplyTexts();
    strip_->setToolTip(context_.FileText("TIMELINE", "ts"));
}

void CutPreview::ShowForTab(bool cutTab) {
    if (!cutTab) Pause();  // the preview is out of sight
    controls_->ShowForTab(cutTab);
}

bool CutPreview::playing() const {
    return player_->playing();
}

void CutPreview::Play() {
    if (path_.isEmpty()) return;  // nothing loaded: nothing to play
    if (QApplication::keyboardModifiers() & Qt::ShiftModifier) return OpenInDesktopPlayer();
    TogglePlayback();
}

void CutPreview::OpenInDesktopPlayer() {
    if (path_.isEmpty()) return;
    Pause();
    context_.services.open(path_);
}

void CutPreview::TogglePlayback() {
    if (path_.isEmpty()) return;
    if (player_->playing()) return Pause();
    StartPlayback(PlaybackStart(), 1.0);
}

void CutPreview::Pause() {
    heldSpeed_.reset();
    if (player_->playing()) player_->Pause();
}

int64_t CutPreview::PlaybackStart() const {
    if (playedToEnd_) return 0;
    if (playsResult()) return player_->TimelineMicros();
    // The picture shown starts playback; else the position (a key frame's picture, a file
    // without pictures). Still on the picture playback stopped at, the player's own time for it
    // (the exact still's may differ by a rounding), so it resumes with what it has queued.
    if (!ShowsExactPictureAtPosition()) return int64_t{positionMs_} * 1000;
    return pausedAt_ >= 0 && std::abs(shownFrom_ - pausedAt_) < 1000 ? pausedAt_ : shownFrom_;
}

void CutPreview::Shuttle(int direction) {
    if (path_.isEmpty()) return;
    if (direction == 0) return Pause();
    const double now = player_->playing() ? player_->speed() : 0.0;
    // Again in the same direction: twice as fast, up to four times.
    const double speed = now * direction > 0 ? std::clamp(now * 2, -4.0, 4.0) : direction;
    const int64_t from = player_->playing() ? PlayingAt() : PlaybackStart();
    StartPlayback(direction < 0 && playedToEnd_ ? PlayingAt() : from, speed);
}

void CutPreview::PlayRange(int64_t from, int64_t to) {
    if (path_.isEmpty() || to <= from) return;
    LeaveResult();
    StartPlayback(from, 1.0, to, controls_->loop());
}

void CutPreview::PlayResult(std::vector<PlayerClip> clips) {
    if (path_.isEmpty() || clips.empty()) return;
    const bool same = playsResult() && clips.size() == resultClips_.size() &&
                      std::equal(clips.begin(), clips.end(), resultClips_.begin(), [](const auto& a, const auto& b) {
                          return a.startMicros == b.startMicros && a.endMicros == b.endMicros;
                      });
    if (same && player_->playing()) return Pause();
    if (!OpenPlayer()) return;
    if (!same) {
        player_->SetClips(clips);
        resultClips_ = std::move(clips);
        playedToEnd_ = false;
    }
    StartPlayback(PlaybackStart(), 1.0);
}

bool CutPreview::playsResult() const {
    return player_->playsClips();
}

void CutPreview::LeaveResult() {
    if (!playsResult()) return;
    player_->SetClips({});
    resultClips_.clear();
    playedToEnd_ = false;
    heldSpeed_.reset();
    resultClip_ = -1;
    emit resultClipShown(-1);
    controls_->ShowPlayState();
}

int64_t CutPreview::PlayingAt() const {
    if (playsResult()) return player_->TimelineMicros();
    return player_->playing() ? player_->PositionMicros() : int64_t{positionMs_} * 1000;
}

bool CutPreview::OpenPlayer() {
    if (player_->isOpen() && player_->path() == path_) return true;
    QString error;
    if (player_->Open(path_, PreviewBox(), error)) {
        player_->ChooseSoundTrack(controls_->soundTrack());
        return true;
    }
    context_.Tell(context_.FileText("PLAYER", "bnbf").arg(QFileInfo(path_).fileName()) + "\n\n" + error);
    return false;
}

void CutPreview::StartPlayback(int64_t fromMicros, double speed, int64_t untilMicros, bool loop) {
    if (path_.isEmpty() || !OpenPlayer()) return;
    playedToEnd_ = false;
    heldSpeed_.reset();
    // Answers asked for before are of another time.
    exact_->Forget();
    ++request_;
    requestedAt_ = -1;
    keySeek_.reset();
    player_->SetBox(PreviewBox());
    const int64_t length = playsResult() ? player_->LengthMicros() : info_.durationMicros;
    player_->Play(std::clamp<int64_t>(fromMicros, 0, std::max<int64_t>(length, 0)), speed, untilMicros, loop);
    controls_->ShowPlayState();
}

void CutPreview::FollowPlayback(int64_t micros) {
    positionMs_ = Millis(micros);
    seekBar_->SetPosition(SeekBarPlace(micros, info_.durationMicros));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    if (const int clip = playsResult() ? player_->clipPlaying() : -1; clip != resultClip_) {
        resultClip_ = clip;
        emit resultClipShown(clip);
    }
    const double speed = player_->speed();
    if (player_->playing() && speed != 1.0) {
        auto* text = context_.ItemAs<QLabel>(main_id::kPositionText);
        text->setText(text->text() + QString("  %1%2\u00d7").arg(speed < 0 ? "\u25c2" : "").arg(std::abs(speed)));
    }
}

void CutPreview::OnPlaybackStopped(qint64 micros, qint64 shownFrom, qint64 shownFor, bool ended) {
    playedToEnd_ = ended && player_->untilMicros() < 0 && player_->speed() > 0;
    pausedAt_ = micros;
    FollowPlayback(shownFrom >= 0 ? shownFrom : micros);
    if (shownFrom < 0) return;
    // The picture stays, and the exact still of it follows from the pictures' thread (asked
    // for in its middle, so no rounding can land on its neighbour).
    shownFrom_ = shownFrom;
    shownFor_ = shownFor;
    RequestExact(shownFor > 0 ? shownFrom + shownFor / 2 : shownFrom, false);
}

bool CutPreview::PlayOnFrom(int64_t micros) {
    if (!heldSpeed_ && !player_->playing()) return false;
    const double speed = heldSpeed_ ? *heldSpeed_ : player_->speed();
    FollowPlayback(micros);
    StartPlayback(micros, speed);
    return true;
}

}  // namespace ulvane
