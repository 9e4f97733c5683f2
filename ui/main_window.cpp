// The main window: start-up, controls, languages, tabs, tooltips and keys. The sources,
// preview and cut points are in main_window_sources.cpp; the launches and the job monitor
// in main_window_launch.cpp.
#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QToolTip>
#include <QWindow>
#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "controls/timeline_strip.h"
#include "core/app_paths.h"
#include "core/ini_file.h"
#include "core/output_naming.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"
#include "ui/exact_pictures.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"
#include "ui/progress_dialog.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"
#include "ui/segment_list.h"
#include "ui/settings_dialog.h"
#include "ui/timeline_feeder.h"
#include "ui/track_list.h"

namespace ulvane {

namespace {

using namespace main_id;

const QColor kWindowColour(187, 222, 251);
// Between the segment list and the controls above and below it.
constexpr int kSegmentGap = 4;

// The controls of each tab (the tab bar, the help link and the language box are in none).
const int kCutControls[] = {kConvertButton, kOpenButton,      kSeekBar,    kStartPointButton, kEndPointButton,
                            kAddButton,     kStartCaption,    kEndCaption, kLengthCaption,    kStartBox,
                            kEndBox,        kLengthText,      kCutGroup,   kPreview,          kPositionText,
                            kPlayButton,    kDirectStartNote, kStatusLine, kMuteButton,       kVolumeSlider,
                            kSoundTrackBox, kLoopCheck,       kTurnButton};
const int kJoinControls[] = {kMergeButton,  kSourceList,     kRemoveButton,    kAddFilesButton,
                             kMoveUpButton, kMoveDownButton, kApplyToAllButton};

// Tooltip keys of section HINT by control.
struct Hint {
    int id;
    const char* key;
};
const Hint kHints[] = {{kAddButton, "tjspwj"},         {kOpenButton, "tjspwj"}, {kAddFilesButton, "tjspwj"},
                       {kConvertButton, "ksjq"},       {kStartBox, "zjsrsjd"},  {kEndBox, "zjsrsjd"},
                       {kMergeButton, "hbcygwj"},      {kSeekBar, "djsbzj"},    {kEndPointButton, "szjsjqd"},
                       {kStartPointButton, "szksjqd"}, {kPlayButton, "bf"},     {kRemoveButton, "sc"},
                       {kMoveUpButton, "sy"},          {kMoveDownButton, "xy"}};

}  // namespace

WindowServices WindowServices::Default() {
    return ForProgramIn(GetProgramDir());
}

WindowServices WindowServices::ForProgramIn(const QString& programDir) {
    WindowServices s;
    const AppPaths places = LocateAppPaths(programDir.toStdString());
    s.dataDir = QString::fromStdString(places.dataDir);
    s.settingsFile = QString::fromStdString(places.settingsFile);
    s.snapshotFile = QString::fromStdString(places.snapshotFile);
    s.segmentsDir = QString::fromStdString(places.segmentsDir);
    s.queueFile = QFileInfo(s.segmentsDir).absolutePath() + "/queue.txt";
    // What the strip can compute again goes beside the snapshot: the user's cache folder for
    // an installed copy, the program's own for a portable one.
    s.timelineCacheDir = QFileInfo(s.snapshotFile).absolutePath() + "/timeline";
    s.chooseFiles = DefaultFileChooser();
    s.chooseSaveFile = [](QWidget* parent, const QString& title, const QString& place, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, title, place, filter);
    };
    s.chooseOpenFile = [](QWidget* parent, const QString& title, const QString& place, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, place, filter);
    };
    s.messages = &DefaultMessageSink();
    s.open = ShellOpen;
    s.pickFolder = DefaultFolderPicker();
    s.runSettings = [](OutputSettingsDialog& d) { return d.exec() == QDialog::Accepted; };
    s.startMove = [](QWidget* w) {
        if (w->windowHandle()) w->windowHandle()->startSystemMove();
    };
    return s;
}

CUlvaneAVConverterDlg::CUlvaneAVConverterDlg(WindowServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), store_(services_.settingsFile.toStdString()) {
    SetUpFrame();
    SetUpSegments();
    SetUpDetect();
    SetUpTracks();
    SetUpTimeline();
    setAcceptDrops(true);
    SetUpLanguageAndTabs();
    SetUpSourceList();
    ApplyLanguage();
    SetBoxTime(startBox_, 0);
    SetBoxTime(endBox_, 0);
    connect(startBox_, &QLineEdit::textChanged, this, &CUlvaneAVConverterDlg::OnTimeEdited);
    connect(endBox_, &QLineEdit::textChanged, this, &CUlvaneAVConverterDlg::OnTimeEdited);
    connect(startBox_, &QLineEdit::editingFinished, this, [this] { OnTimeTyped(startBox_); });
    connect(endBox_, &QLineEdit::editingFinished, this, [this] { OnTimeTyped(endBox_); });
    SetUpButtons();
    SetUpSeekBar();
    SetUpPlayer();
    SetUpTurn();

    for (const Hint& h : kHints)
        if (QWidget* w = Item(h.id)) w->installEventFilter(this);
    qApp->installEventFilter(this);  // the Delete key, whichever control has the focus

    // Tab follows the layout: the top row left to right, then each tab's controls as they read.
    // The segment list and its buttons come after the cut row they lie under.
    std::vector<QWidget*> order;
    for (int id : {kTabs, kLanguageBox, kHelpLink, kQueueButton, kAddButton}) order.push_back(Item(id));
    order.push_back(strip_);  // under the preview, above the seek bar
    for (int id : {kSeekBar, kMuteButton, kVolumeSlider, kSoundTrackBox, kLoopCheck, kOpenButton, kPlayButton,
                   kStartPointButton, kEndPointButton, kTurnButton, kStartBox, kEndBox, kConvertButton})
        order.push_back(Item(id));
    for (QWidget* w : segmentList_->TabOrder()) order.push_back(w);
    for (QWidget* w : trackList_->TabOrder()) order.push_back(w);
    for (int id :
         {kSourceList, kAddFilesButton, kRemoveButton, kMergeButton, kMoveUpButton, kMoveDownButton, kApplyToAllButton})
        order.push_back(Item(id));
    for (size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);

    // The template's size is the default and the smallest (wider only where a language's
    // texts need it); the window may grow from there.
    baseLayout_ = CurrentLayout(items_, this);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    FitToTexts();
    UpdateDirectStartNote();
    setSizeGripEnabled(true);
    regrabTimer_.setSingleShot(true);
    regrabTimer_.setInterval(120);
    connect(&regrabTimer_, &QTimer::timeout, this, [this] {
        // The picture shown, at the new size: the exact one at the position, not its key frame.
        if (cutSourcePath_.isEmpty() || preview_->picture().isNull()) return;
        if (player_->playing()) return player_->SetBox(PreviewBox());  // its next pictures at the new size
        const Mark waiting = pendingMark_;  // the same picture again: a mark set meanwhile still wants its time
        if (shownFrom_ >= 0)
            RequestExactMicros(shownFrom_, false);
        else
            RequestExactPicture(previewPositionMs_);
        pendingMark_ = waiting;
    });

    exact_ = new ExactPictures(this);
    connect(exact_, &ExactPictures::ready, this, &CUlvaneAVConverterDlg::OnExactPicture);

    SetUpProgress();
    SetUpQueue();
    // Choices that cannot be kept are said once the window is up.
    QMetaObject::invokeMethod(this, &CUlvaneAVConverterDlg::TellSettingsProblem, Qt::QueuedConnection);
    connect(ItemAs<CControlButton>(kConvertButton), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::LaunchCut);
    connect(ItemAs<CControlButton>(kMergeButton), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::LaunchJoin);
}

CUlvaneAVConverterDlg::~CUlvaneAVConverterDlg() {
    qApp->removeEventFilter(this);
    // A time box losing its focus while the window goes must not reach the half-destroyed window.
    startBox_->disconnect(this);
    endBox_->disconnect(this);
    segmentList_->disconnect(this);  // nor a label being typed into the segment list
    trackList_->disconnect(this);
    delete feeder_;  // its worker stops and is joined
    feeder_ = nullptr;
    delete player_;  // its threads end before what it paints into goes
    player_ = nullptr;
    // The panel reads the runner's queue while it goes; the runner stops its jobs as it goes.
    delete queuePanel_;
    queuePanel_ = nullptr;
    delete queue_;
    queue_ = nullptr;
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
    StopKeyFrameScan();
}

void CUlvaneAVConverterDlg::SetUpFrame() {
    QFont f = font();
    f.setPointSize(MainDialogTemplate().pointSize);
    setFont(f);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(services_.dataDir + "/images/266.png"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColour);
    setPalette(pal);
    setAutoFillBackground(true);

    items_ = BuildDialog(MainDialogTemplate(), this);
    tabs_ = ItemAs<QTabBar>(kTabs);
    helpLink_ = ItemAs<CHyperLink>(kHelpLink);
    languageBox_ = ItemAs<QComboBox>(kLanguageBox);
    languageLabel_ = ItemAs<QLabel>(kLanguageCaption);
    sourceList_ = ItemAs<CCheckListCtrl>(kSourceList);
    preview_ = ItemAs<PreviewFrame>(kPreview);
    seekBar_ = ItemAs<CBitmapSlider>(kSeekBar);
    startBox_ = ItemAs<QLineEdit>(kStartBox);
    endBox_ = ItemAs<QLineEdit>(kEndBox);
    lengthText_ = ItemAs<QLabel>(kLengthText);
    positionText_ = ItemAs<QLabel>(kPositionText);
}

void CUlvaneAVConverterDlg::SetUpLanguageAndTabs() {
    // The language box: the six names from setting.ini (a name missing there, each file's own
    // name for its language), the file read selected: the one setting.ini names, or English.
    const std::string folder = (services_.dataDir + "/languages/").toStdString();
    for (int i = 1; i <= 6; ++i) {
        std::string name = store_.LanguageName(i);
        if (name.empty())
            name = ini::ReadString(folder + std::string(kLanguageFiles[size_t(i - 1)]), "JIEMIAN", "yymc");
        languageBox_->addItem(ToQString(name));
    }
    table_.Load(folder, store_.LanguageFile());
    const std::string& active = table_.activeFile();
    languageBox_->setCurrentIndex(LanguagePosition(active).value_or(-1));
    UseQtTexts(active);
    connect(languageBox_, &QComboBox::currentIndexChanged, this, &CUlvaneAVConverterDlg::SelectLanguage);

    tabs_->addTab(Text("JIEMIAN", "spjq"));
    tabs_->addTab(Text("JIEMIAN", "sphb"));
    tabs_->setDrawBase(false);
    connect(tabs_, &QTabBar::currentChanged, this, &CUlvaneAVConverterDlg::SelectTab);
}

QString CUlvaneAVConverterDlg::Text(const char* section, const char* key) const {
    return ToQString(table_.Text(section, key));
}

QString CUlvaneAVConverterDlg::Resolve(const QString& target) const {
    // A relative target (the help page) lies beside the program.
    if (target.isEmpty() || target.contains("://") || QFileInfo(target).isAbsolute()) return target;
    return services_.dataDir + "/" + target;
}

QImage CUlvaneAVConverterDlg::Image(int id) const {
    return QImage(QString("%1/images/%2.bmp").arg(services_.dataDir).arg(id));
}

void CUlvaneAVConverterDlg::SetUpButtons() {
    struct Face {
        int id, image;
        bool shaped;
    };
    const Face faces[] = {{kAddButton, 178, true},      {kConvertButton, 186, true},    {kMergeButton, 295, false},
                          {kEndPointButton, 321, true}, {kStartPointButton, 320, true}, {kOpenButton, 254, true},
                          {kPlayButton, 326, true},     {kRemoveButton, 331, true},     {kAddFilesButton, 178, true}};
    for (const Face& f : faces) {
        auto* b = ItemAs<CControlButton>(f.id);
        const QImage face = Image(f.image);
        b->SetFaceBitmaps(face, face, face, face);
        if (f.shaped) b->SetRegionFromBitmap(face);
        b->setCursor(Qt::PointingHandCursor);
    }
    const auto onClick = [this](int id, void (CUlvaneAVConverterDlg::*slot)()) {
        connect(ItemAs<CControlButton>(id), &QAbstractButton::clicked, this, slot);
    };
    onClick(kAddButton, &CUlvaneAVConverterDlg::AddSourceFiles);
    onClick(kOpenButton, &CUlvaneAVConverterDlg::AddSourceFiles);
    onClick(kAddFilesButton, &CUlvaneAVConverterDlg::AddSourceFiles);
    onClick(kRemoveButton, &CUlvaneAVConverterDlg::RemoveSelectedSource);
    onClick(kStartPointButton, &CUlvaneAVConverterDlg::SetStartPoint);
    onClick(kEndPointButton, &CUlvaneAVConverterDlg::SetEndPoint);
    onClick(kPlayButton, &CUlvaneAVConverterDlg::Play);
    connect(ItemAs<QAbstractButton>(kMoveUpButton), &QAbstractButton::clicked, this,
            [this] { MoveSelectedSource(-1); });
    connect(ItemAs<QAbstractButton>(kMoveDownButton), &QAbstractButton::clicked, this,
            [this] { MoveSelectedSource(1); });
    ItemAs<CControlButton>(kConvertButton)->setEnabled(true);
    ItemAs<CControlButton>(kMergeButton)->setEnabled(true);
}

void CUlvaneAVConverterDlg::SetUpSeekBar() {
    seekBar_->LoadChannelBitmaps(Image(306), Image(307));
    seekBar_->LoadThumbBitmaps(Image(308), Image(308));
    seekBar_->ShowFocusRect(true);  // every control shows the keyboard focus
    seekBar_->SetRange(0, 1000);
    seekBar_->SetPageSize(100);  // Page Up and Page Down move a tenth
    seekBar_->SetPosition(0);
    seekBar_->SetMargins(0, 4, 4, 0);
    seekBar_->setEnabled(false);  // until a file is loaded
    connect(seekBar_, &CBitmapSlider::sliderMoving, this, &CUlvaneAVConverterDlg::OnSliderMoving);
    // Keys (Home, End, arrows, Page keys) and the end of a drag: the preview follows the
    // thumb as during a drag, unless it shows that position already.
    connect(seekBar_, &CBitmapSlider::sliderMoved, this, [this](int id, int position) {
        if (ResumeAfterSeek(position)) return;  // playing on from there
        if (position != shownPosition_ || grabScheduled_) OnSliderMoving(id, position);
        // Once the thumb rests, the exact picture at its place follows the key frame's.
        if (!cutSourcePath_.isEmpty()) {
            const double total = static_cast<double>(cutInfo_.durationMicros) / 1e3;
            RequestExactPicture(static_cast<int32_t>(std::min(total * position / 1000.0, 2e9)));
        }
    });
}

void CUlvaneAVConverterDlg::ApplyLanguage() {
    QFont linkFont = helpLink_->font();
    linkFont.setFamilies({"Microsoft Sans Serif", "DejaVu Sans", linkFont.family()});
    linkFont.setPointSize(10);
    helpLink_->setFont(linkFont);
    helpLink_->setText(Text("JIEMIAN", "zysybrj"));
    helpLink_->SetBaseFolder(services_.dataDir);
    helpLink_->SetOpeners(services_.open, nullptr);
    helpLink_->SetTarget(Text("APPLICATION", "url"));
    helpLink_->SetUnderlineMode(CHyperLink::UnderlineAlways);
    ItemAs<QLabel>(kStartCaption)->setText(Text("JIEMIAN", "ksjq"));
    ItemAs<QLabel>(kEndCaption)->setText(Text("JIEMIAN", "jsjq"));
    ItemAs<QLabel>(kLengthCaption)->setText(Text("JIEMIAN", "jqsj"));
    languageLabel_->setText(Text("JIEMIAN", "yy"));
    segmentList_->ApplyTexts(table_);
    ApplyDetectTexts();
    trackList_->ApplyTexts(table_);
    if (queuePanel_) ApplyQueueTexts();
    strip_->setToolTip(ToQString(table_.ReadFromFile("TIMELINE", "ts")));
    ApplyPlayerTexts();
    ApplyTurnTexts();
    ApplyLanguageToSourceList();
    tabs_->setTabText(0, Text("JIEMIAN", "spjq"));
    tabs_->setTabText(1, Text("JIEMIAN", "sphb"));
    UpdateTitle();
    // The layout makes room for the longest the direct-start note gets in this language.
    ItemAs<QLabel>(kDirectStartNote)->setText(Text("JIEMIAN", "zjqd") + " 00:00:00.000");
    FitToTexts();
    UpdateDirectStartNote();
}

void CUlvaneAVConverterDlg::FitToTexts() {
    if (baseLayout_.rects.isEmpty()) return;  // still being built
    const DialogLayout fitted = FitCaptions(items_, baseLayout_);
    templateRects_ = fitted.rects;
    templateSize_ = fitted.size;
    // Wider still where the join list's columns need it: the list grows with the window.
    const int listRoom = templateRects_.value(main_id::kSourceList).width() - (sourceList_->width() - SourceListRoom());
    const int columns = NarrowestSourceColumns(listRoom).total;
    // Wider and taller where the segment list needs it, under the cut controls.
    const int listWidth = segmentList_->minimumSizeHint().width() + 2 * templateRects_.value(kStatusLine).left();
    setMinimumSize(std::max(templateSize_.width() + std::max(0, columns - listRoom), listWidth),
                   templateSize_.height() + SegmentRoom() + StripRoom());
    if (width() < minimumWidth() || height() < minimumHeight()) resize(size().expandedTo(minimumSize()));
    LayOut();
}

void CUlvaneAVConverterDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    LayOut();
}

void CUlvaneAVConverterDlg::LayOut() {
    if (templateRects_.isEmpty()) return;  // still being built
    // The cut tab keeps the segment list's room under its controls, above the status line; the
    // join tab grows into it.
    // The timeline strip takes its room under the preview, above the seek bar.
    const int room = SegmentRoom(), stripRoom = StripRoom();
    const int dx = std::max(0, width() - templateSize_.width()), dy = std::max(0, height() - templateSize_.height());
    const int cutDy = std::max(0, dy - room - stripRoom);
    const QRect preview = Anchored(templateRects_.value(kPreview), templateSize_, {dx, cutDy},
                                   baseLayout_.rects.value(kPreview), baseLayout_.size);
    const int stripMargin = templateRects_.value(kStatusLine).left();
    strip_->setGeometry(stripMargin, preview.bottom() + 1 + kSegmentGap, width() - 2 * stripMargin,
                        stripRoom - kSegmentGap);
    for (auto it = templateRects_.cbegin(); it != templateRects_.cend(); ++it) {
        const bool cut =
            std::find(std::begin(kCutControls), std::end(kCutControls), it.key()) != std::end(kCutControls);
        // Which edge an item keeps to is the template's choice, whatever the captions moved.
        const QSize grow(dx, cut ? cutDy : dy);
        QRect r =
            Anchored(it.value(), templateSize_, grow, baseLayout_.rects.value(it.key(), it.value()), baseLayout_.size);
        if (cut && it.key() != kPreview && it.value().top() > templateRects_.value(kPreview).bottom())
            r.translate(0, stripRoom);
        if (it.key() == kStatusLine) {
            const int margin = r.left();
            // The segment list, and the track list under it.
            const int tracks = trackList_->minimumSizeHint().height();
            segmentList_->setGeometry(margin, r.top() + kSegmentGap, width() - 2 * margin,
                                      room - 3 * kSegmentGap - tracks);
            trackList_->setGeometry(margin, r.top() + room - kSegmentGap - tracks, width() - 2 * margin, tracks);
            r.translate(0, room);
        }
        if (it.key() == kAddButton)  // in the middle of the preview
            r = it.value().translated(grow.width() / 2, grow.height() / 2);
        if (it.key() == kEndPointButton)  // stays with the other cut buttons, on the left
            r.moveLeft(it.value().left());
        if (it.key() == kSeekBar) seekBar_->StretchTo(r.width());
        Item(it.key())->setGeometry(r);
    }
    FitSourceColumns();
    if (!preview_->picture().isNull()) regrabTimer_.start();
}

void CUlvaneAVConverterDlg::UpdateTitle() {
    // The loaded file is named after the program, as desktop programs do; the preview's
    // tooltip gives its whole path.
    // The version is the project's, which ulvane-cli --version prints too.
    QString title = Text("APPLICATION", "name") + " " + QStringLiteral(ULVANE_VERSION);
    if (!cutSourcePath_.isEmpty()) title += " - " + QFileInfo(cutSourcePath_).fileName();
    setWindowTitle(title);
    preview_->setToolTip(cutSourcePath_.isEmpty() ? cutSourcePath_ : cutSourcePath_ + "\n" + TracksText(cutInfo_));
    ItemAs<QLabel>(kStatusLine)->setText(cutSourcePath_.isEmpty() ? QString() : StatusText(cutInfo_));
}

QString CUlvaneAVConverterDlg::StatusText(const MediaInfo& info) {
    // "H264 1280*720 25.00fps  ·  AAC 44100 Hz  ·  00:00:20.000": codecs by FFmpeg's names.
    QStringList parts;
    if (!info.videoCodec.empty()) {
        const double rate = info.frameRateDen ? static_cast<double>(info.frameRateNum) / info.frameRateDen : 0.0;
        parts << QString::fromStdString(info.videoCodec).toUpper() + " " +
                     ToQString(SizeText(info.videoWidth, info.videoHeight)) + QString::asprintf(" %.2ffps", rate);
    }
    if (!info.audioCodec.empty())
        parts << QString::fromStdString(info.audioCodec).toUpper() + QString(" %1 Hz").arg(info.sampleRate);
    parts << TimeText(static_cast<int32_t>(std::min<int64_t>(info.durationMicros / 1000, INT32_MAX)));
    return parts.join(QString::fromUtf8("  \u00b7  "));
}

void CUlvaneAVConverterDlg::SelectLanguage(int position) {
    if (position < 0 || position >= static_cast<int>(kLanguageFiles.size())) return;
    table_.Load((services_.dataDir + "/languages/").toStdString(), std::string(kLanguageFiles[size_t(position)]));
    // The language shown and kept is the one read: English when the chosen file cannot be.
    const std::string& file = table_.activeFile();
    if (!store_.WriteLanguageFile(file)) TellSettingsProblem();
    UseQtTexts(file);
    ApplyLanguage();
    const int shown = LanguagePosition(file).value_or(0);
    const QSignalBlocker quiet(languageBox_);
    languageBox_->setCurrentIndex(shown);
}

void CUlvaneAVConverterDlg::TellSettingsProblem() {
    if (toldSettingsProblem_) return;
    const std::string why = store_.SaveProblem();
    if (why.empty()) return;
    toldSettingsProblem_ = true;
    services_.messages->Show(this, windowTitle(), Text("TISHI", "szbnbc") + "\n\n" + ToQString(why), true);
}

void CUlvaneAVConverterDlg::SelectTab(int index) {
    if (index != 0 && index != 1) return;
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);  // comes back here
    for (int id : kCutControls) Item(id)->setVisible(index == 0);
    for (int id : kJoinControls) Item(id)->setVisible(index == 1);
    // The add button covers the preview only while nothing is loaded.
    if (index == 0 && !cutSourcePath_.isEmpty()) Item(kAddButton)->hide();
    ShowPlayerControls(index == 0);
    segmentList_->setVisible(index == 0);
    trackList_->setVisible(index == 0);
    strip_->setVisible(index == 0);
}

int CUlvaneAVConverterDlg::SegmentRoom() const {
    return segmentList_->minimumSizeHint().height() + trackList_->minimumSizeHint().height() + 3 * kSegmentGap;
}

QString CUlvaneAVConverterDlg::TooltipFor(int controlId) const {
    for (const Hint& h : kHints)
        if (h.id == controlId) return Text("HINT", h.key);
    return {};
}

bool CUlvaneAVConverterDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FilterKey(watched, static_cast<QKeyEvent*>(event))) return true;
    if (event->type() == QEvent::ToolTip) {
        auto* w = qobject_cast<QWidget*>(watched);
        for (const Hint& h : kHints)
            if (w && Item(h.id) == w) {
                // Looked up now, so a language switch shows at once.
                const QString text = TooltipFor(h.id);
                if (text.isEmpty())
                    QToolTip::hideText();
                else
                    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, w);
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

void CUlvaneAVConverterDlg::mousePressEvent(QMouseEvent* e) {
    // Dragging anywhere on the background moves the window; a click does not.
    if (e->button() == Qt::LeftButton) pressedAt_ = e->position().toPoint();
    QDialog::mousePressEvent(e);
}

void CUlvaneAVConverterDlg::mouseMoveEvent(QMouseEvent* e) {
    // The move starts once the pointer has really moved, so quick clicks never shake the window.
    if (pressedAt_ && (e->buttons() & Qt::LeftButton) &&
        (e->position().toPoint() - *pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        pressedAt_.reset();
        if (services_.startMove) services_.startMove(this);
    }
    QDialog::mouseMoveEvent(e);
}

void CUlvaneAVConverterDlg::dragEnterEvent(QDragEnterEvent* e) {
    const QMimeData* data = e->mimeData();
    if (!data || !data->hasUrls()) return;
    const QList<QUrl> urls = data->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& u) { return u.isLocalFile(); })) e->acceptProposedAction();
}

void CUlvaneAVConverterDlg::dropEvent(QDropEvent* e) {
    if (!e->mimeData() || !e->mimeData()->hasUrls()) return;
    e->acceptProposedAction();
    const QList<QUrl> urls = e->mimeData()->urls();
    // Probing takes a moment: after the drop, so the file manager is not kept waiting.
    QMetaObject::invokeMethod(
        this, [this, urls] { DropFiles(urls); }, Qt::QueuedConnection);
}

void CUlvaneAVConverterDlg::mouseReleaseEvent(QMouseEvent* e) {
    pressedAt_.reset();
    QDialog::mouseReleaseEvent(e);
}

void CUlvaneAVConverterDlg::closeEvent(QCloseEvent* e) {
    if (jobRunning_) {
        // Closed while a job runs: the user decides; a stopped job ends, then the window closes.
        e->ignore();
        if (closeAfterJob_ || !services_.messages->Ask(this, windowTitle(), Text("TISHI", "tcgz"))) return;
        closeAfterJob_ = true;
        if (progress_->isVisible()) StopJob();
        return;
    }
    if (!CloseQueue()) {
        e->ignore();
        return;
    }
    // A stopped job's worker may still be finishing: it goes before the record does.
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
    StopKeyFrameScan();
    PausePlayback();
    job_.reset();
    grabber_.Release();
    done(QDialog::Accepted);
    e->accept();
}

}  // namespace ulvane
