#include "ui/player_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

#include "controls/control_button.h"
#include "ui/control_ids.h"
#include "ui/preview_player.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

using namespace main_id;

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

PlayerControls::PlayerControls(const WindowContext& context, PreviewPlayer* player, QObject* parent)
    : QObject(parent), context_(context), player_(player) {
    playFace_ = context_.Image(326);
    pauseFace_ = PauseFace(playFace_);
    // The play button's menu: segment play, the loop, and the desktop's own player.
    auto* play = context_.ItemAs<CControlButton>(kPlayButton);
    play->setFocusPolicy(Qt::StrongFocus);  // a click on it leaves Space with playback
    play->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* segment = new QAction(play);
    segment->setObjectName("playSegment");
    connect(segment, &QAction::triggered, this, &PlayerControls::playSegmentAsked);
    auto* result = new QAction(play);
    result->setObjectName("playResult");
    connect(result, &QAction::triggered, this, &PlayerControls::playResultAsked);
    auto* outside = new QAction(play);
    outside->setObjectName("openInPlayer");
    connect(outside, &QAction::triggered, this, &PlayerControls::desktopPlayerAsked);
    play->addActions({segment, result, outside});

    auto* mute = context_.ItemAs<QToolButton>(kMuteButton);
    mute->setIcon(mute->style()->standardIcon(QStyle::SP_MediaVolume));
    connect(mute, &QToolButton::toggled, this, [this, mute](bool muted) {
        mute->setIcon(mute->style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
        player_->SetMuted(muted);
    });
    auto* volume = context_.ItemAs<QSlider>(kVolumeSlider);
    volume->setValue(100);
    connect(volume, &QSlider::valueChanged, this, [this](int v) { player_->SetVolume(v / 100.0); });
    auto* tracks = context_.ItemAs<QComboBox>(kSoundTrackBox);
    connect(tracks, &QComboBox::activated, this, [this](int place) { player_->ChooseSoundTrack(place); });
    // A click on the box leaves the focus where it was: Space still plays.
    context_.ItemAs<QCheckBox>(kLoopCheck)->setFocusPolicy(Qt::TabFocus);
    ApplyTexts();
    ShowPlayState();
}

void PlayerControls::ApplyTexts() {
    const auto text = [&](const char* key) { return context_.FileText("PLAYER", key); };
    context_.ItemAs<QToolButton>(kMuteButton)->setToolTip(text("jy"));
    context_.ItemAs<QSlider>(kVolumeSlider)->setToolTip(text("yl"));
    context_.ItemAs<QComboBox>(kSoundTrackBox)->setToolTip(text("yg"));
    context_.ItemAs<QCheckBox>(kLoopCheck)->setText(text("xh"));
    context_.ItemAs<QCheckBox>(kLoopCheck)->setToolTip(text("xhts"));
    for (QAction* a : context_.Item(kPlayButton)->actions())
        a->setText(text(a->objectName() == "playSegment" ? "bfpd" : a->objectName() == "playResult" ? "bfxr" : "wbbf"));
    ShowPlayState();
}

void PlayerControls::ListSoundTracks(bool listed) {
    auto* tracks = context_.ItemAs<QComboBox>(kSoundTrackBox);
    tracks->clear();
    if (!listed) return;
    int place = 0;
    for (const PlayerSoundTrack& t : player_->info().soundTracks) {
        // Short in the box ("2 deu"), whole in its tooltip.
        QString name = QString::number(++place);
        if (!t.language.empty()) name += " " + QString::fromStdString(t.language);
        tracks->addItem(name);
        QStringList about;
        if (!t.title.empty()) about << QString::fromStdString(t.title);
        about << QString::fromStdString(t.codec);
        if (t.channels > 0) about << context_.FileText("PLAYER", "sdl").arg(t.channels);
        tracks->setItemData(tracks->count() - 1, about.join(", "), Qt::ToolTipRole);
    }
}

void PlayerControls::ShowForTab(bool cutTab) {
    auto* tracks = context_.ItemAs<QComboBox>(kSoundTrackBox);
    tracks->setVisible(cutTab && tracks->count() > 1);
}

void PlayerControls::ShowPlayState() {
    auto* play = context_.ItemAs<CControlButton>(kPlayButton);
    const QImage& face = player_->playing() ? pauseFace_ : playFace_;
    play->SetFaceBitmaps(face, face, face, face);
    play->update();
    // The mute button says when there is no device to hear.
    const bool silent = player_->playing() && !player_->soundDevicePresent() && !player_->info().soundTracks.empty();
    context_.ItemAs<QToolButton>(kMuteButton)->setToolTip(context_.FileText("PLAYER", silent ? "wsb" : "jy"));
}

bool PlayerControls::loop() const {
    return context_.ItemAs<QCheckBox>(kLoopCheck)->isChecked();
}

int PlayerControls::soundTrack() const {
    return std::max(0, context_.ItemAs<QComboBox>(kSoundTrackBox)->currentIndex());
}

}  // namespace ulvane
