// The main window: set-up, languages, tabs, layout, tooltips, the files it is given, and closing.
// The key table is in main_window_keys.cpp; everything else is its units'.
#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolTip>
#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "controls/timeline_strip.h"
#include "core/ini_file.h"
#include "core/output_naming.h"
#include "ui/control_ids.h"
#include "ui/cut_preview.h"
#include "ui/cut_tab.h"
#include "ui/job_launcher.h"
#include "ui/join_tab.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"
#include "ui/segment_list.h"
#include "ui/track_list.h"

namespace ulvane {

namespace {

using namespace main_id;

const QColor kWindowColour(187, 222, 251);
// Between the segment list and the controls above and below it, and under the timeline strip.
constexpr int kSegmentGap = 4;
constexpr int kStripGap = 4;

// The controls of each tab (the tab bar, the help link and the language box are in none).
const int kCutControls[] = {kConvertButton, kOpenButton,      kSeekBar,    kStartPointButton, kEndPointButton,
                            kAddButton,     kStartCaption,    kEndCaption, kLengthCaption,    kStartBox,
                            kEndBox,        kLengthText,      kCutGroup,   kPreview,          kPositionText,
                            kPlayButton,    kDirectStartNote, kStatusLine, kMuteButton,       kVolumeSlider,
                            kSoundTrackBox, kLoopCheck,       kTurnButton};
const int kJoinControls[] = {kMergeButton,  kSourceList,     kRemoveButton,    kAddFilesButton,
                             kMoveUpButton, kMoveDownButton, kApplyToAllButton};

// Tooltip keys of section HINT by control, and the window's shortcut each names.
struct Hint {
    int id;
    const char* key;
    const char* shortcut = nullptr;
};
const Hint kHints[] = {{kAddButton, "tjspwj", "Ctrl+O"},
                       {kOpenButton, "tjspwj", "Ctrl+O"},
                       {kAddFilesButton, "tjspwj", "Ctrl+O"},
                       {kConvertButton, "ksjq", "Ctrl+E"},
                       {kStartBox, "zjsrsjd"},
                       {kEndBox, "zjsrsjd"},
                       {kMergeButton, "hbcygwj", "Ctrl+J"},
                       {kSeekBar, "djsbzj"},
                       {kEndPointButton, "szjsjqd"},
                       {kStartPointButton, "szksjqd"},
                       {kPlayButton, "bf"},
                       {kRemoveButton, "sc"},
                       {kMoveUpButton, "sy"},
                       {kMoveDownButton, "xy"}};

// Media files the open dialog lists first: the long-known names, and every extension of a
// container this FFmpeg reads.
QString MediaPatterns() {
    static const QString patterns = [] {
        QStringList list = {"*.rm",  "*.rmvb", "*.flv",  "*.swf", "*.f4v", "*.mov", "*.qt",  "*.avi",
                            "*.mpg", "*.mpeg", "*.mod",  "*.tod", "*.mts", "*.ts",  "*.nut", "*.h264",
                            "*.nsv", "*.dv",   "*.m2t",  "*.vob", "*.dat", "*.mkv", "*.mp4", "*.m4v",
                            "*.3gp", "*.3g2",  "*.3gpp", "*.asf", "*.wmv", "*.wm"};
        for (const std::string& ext : MediaFileExtensions()) {
            const QString pattern = "*." + QString::fromStdString(ext);
            if (!list.contains(pattern)) list << pattern;
        }
        return list.join(' ');
    }();
    return patterns;
}

// The status line's text for a loaded file: "H264 1280*720 25.00fps  ·  AAC 44100 Hz  ·
// 00:00:20.000", codecs by FFmpeg's names.
QString StatusText(const MediaInfo& info) {
    QStringList parts;
    if (!info.videoCodec.empty()) {
        const double rate = info.frameRateDen ? static_cast<double>(info.frameRateNum) / info.frameRateDen : 0.0;
        parts << QString::fromStdString(info.videoCodec).toUpper() + " " +
                     ToQString(ShownSizeText(info.videoWidth, info.videoHeight, info.rotationDegrees)) +
                     QString::asprintf(" %.2ffps", rate);
    }
    if (!info.audioCodec.empty())
        parts << QString::fromStdString(info.audioCodec).toUpper() + QString(" %1 Hz").arg(info.sampleRate);
    parts << TimeText(static_cast<int32_t>(std::min<int64_t>(info.durationMicros / 1000, INT32_MAX)));
    return parts.join(QString::fromUtf8("  \u00b7  "));
}

// The place of the segment and track lists under the cut controls: their heights with the gaps
// around them; and the timeline strip's above the seek bar.
int SegmentRoom(const CutTab& cut) {
    return cut.segmentList()->RoomHeight() + cut.trackList()->minimumSizeHint().height() + 3 * kSegmentGap;
}
int StripRoom(const CutPreview& preview) {
    return preview.timelineStrip()->minimumSizeHint().height() + kStripGap;
}

}  // namespace

CUlvaneAVConverterDlg::CUlvaneAVConverterDlg(WindowServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      store_(services_.settingsFile.toStdString()),
      context_{this, services_, table_, store_, items_, [this] { FitToTexts(); }} {
    SetUpFrame();
    setAcceptDrops(true);
    SetUpLanguageAndTabs();
    preview_ = new CutPreview(context_, this);
    launcher_ = new JobLauncher(context_, this);
    cut_ = new CutTab(context_, preview_, launcher_, this);
    join_ = new JoinTab(context_, cut_, launcher_, this);
    SetUpButtons();
    ApplyLanguage();

    for (const Hint& h : kHints)
        if (QWidget* w = Item(h.id)) w->installEventFilter(this);
    qApp->installEventFilter(this);  // the Delete key, whichever control has the focus

    // Tab follows the layout: the top row left to right, then each tab's controls as they read.
    // The segment list and its buttons come after the cut row they lie under.
    std::vector<QWidget*> order;
    for (int id : {kTabs, kLanguageBox, kHelpLink, kQueueButton, kAddButton}) order.push_back(Item(id));
    order.push_back(preview_->timelineStrip());  // under the preview, above the seek bar
    for (int id : {kSeekBar, kMuteButton, kVolumeSlider, kSoundTrackBox, kLoopCheck, kOpenButton, kPlayButton,
                   kStartPointButton, kEndPointButton, kTurnButton, kStartBox, kEndBox, kConvertButton})
        order.push_back(Item(id));
    for (QWidget* w : cut_->segmentList()->TabOrder()) order.push_back(w);
    for (QWidget* w : cut_->trackList()->TabOrder()) order.push_back(w);
    for (int id :
         {kSourceList, kAddFilesButton, kRemoveButton, kMergeButton, kMoveUpButton, kMoveDownButton, kApplyToAllButton})
        order.push_back(Item(id));
    for (size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);

    // The template's size is the default and the smallest (wider only where a language's
    // texts need it); the window may grow from there.
    baseLayout_ = CurrentLayout(items_, this);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    FitEveryLanguage();
    cut_->ShowDirectStartNote();
    setSizeGripEnabled(true);
    // Choices that cannot be kept are said once the window is up.
    QMetaObject::invokeMethod(this, &CUlvaneAVConverterDlg::TellSettingsProblem, Qt::QueuedConnection);
}

CUlvaneAVConverterDlg::~CUlvaneAVConverterDlg() {
    qApp->removeEventFilter(this);
    // The tabs go before what they use; the launcher stops its jobs and waits for its worker;
    // the preview's threads end before what they paint into goes.
    delete join_;
    join_ = nullptr;
    delete cut_;
    cut_ = nullptr;
    delete launcher_;
    launcher_ = nullptr;
    delete preview_;
    preview_ = nullptr;
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
}

void CUlvaneAVConverterDlg::SetUpLanguageAndTabs() {
    // The language box: the six names from setting.ini (a name missing there, each file's own
    // name for its language), the file read selected: the one setting.ini names, or English.
    auto* languageBox = ItemAs<QComboBox>(kLanguageBox);
    const std::string folder = (services_.dataDir + "/languages/").toStdString();
    for (int i = 1; i <= 6; ++i) {
        std::string name = store_.LanguageName(i);
        if (name.empty())
            name = ini::ReadString(folder + std::string(kLanguageFiles[size_t(i - 1)]), "JIEMIAN", "yymc");
        languageBox->addItem(ToQString(name));
    }
    table_.Load(folder, store_.LanguageFile());
    const std::string& active = table_.activeFile();
    languageBox->setCurrentIndex(LanguagePosition(active).value_or(-1));
    UseQtTexts(active);
    connect(languageBox, &QComboBox::currentIndexChanged, this, &CUlvaneAVConverterDlg::SelectLanguage);

    auto* tabs = ItemAs<QTabBar>(kTabs);
    tabs->addTab(context_.Text("JIEMIAN", "spjq"));
    tabs->addTab(context_.Text("JIEMIAN", "sphb"));
    tabs->setDrawBase(false);
    connect(tabs, &QTabBar::currentChanged, this, &CUlvaneAVConverterDlg::SelectTab);
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
        const QImage face = context_.Image(f.image);
        b->SetFaceBitmaps(face, face, face, face);
        if (f.shaped) b->SetRegionFromBitmap(face);
        b->setCursor(Qt::PointingHandCursor);
    }
    for (int id : {kAddButton, kOpenButton, kAddFilesButton})
        connect(ItemAs<CControlButton>(id), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::AddSourceFiles);
    connect(ItemAs<CControlButton>(kPlayButton), &QAbstractButton::clicked, preview_, &CutPreview::Play);
    ItemAs<CControlButton>(kConvertButton)->setEnabled(true);
    ItemAs<CControlButton>(kMergeButton)->setEnabled(true);
}

void CUlvaneAVConverterDlg::ApplyLanguage() {
    auto* helpLink = ItemAs<CHyperLink>(kHelpLink);
    QFont linkFont = helpLink->font();
    linkFont.setFamilies({"Microsoft Sans Serif", "DejaVu Sans", linkFont.family()});
    linkFont.setPointSize(10);
    helpLink->setFont(linkFont);
    helpLink->setText(context_.Text("JIEMIAN", "zysybrj"));
    helpLink->SetBaseFolder(services_.dataDir);
    helpLink->SetOpeners(services_.open, nullptr);
    helpLink->SetTarget(context_.Text("APPLICATION", "url"));
    helpLink->SetUnderlineMode(CHyperLink::UnderlineAlways);
    ItemAs<QLabel>(kStartCaption)->setText(context_.Text("JIEMIAN", "ksjq"));
    ItemAs<QLabel>(kEndCaption)->setText(context_.Text("JIEMIAN", "jsjq"));
    ItemAs<QLabel>(kLengthCaption)->setText(context_.Text("JIEMIAN", "jqsj"));
    ItemAs<QLabel>(kLanguageCaption)->setText(context_.Text("JIEMIAN", "yy"));
    Item(kSourceList)->setAccessibleName(context_.FileText("JIEMIAN", "hblb"));
    preview_->ApplyTexts();
    cut_->ApplyTexts();
    join_->ApplyTexts();
    launcher_->ApplyTexts();
    auto* tabs = ItemAs<QTabBar>(kTabs);
    tabs->setTabText(0, context_.Text("JIEMIAN", "spjq"));
    tabs->setTabText(1, context_.Text("JIEMIAN", "sphb"));
    UpdateTitle();
    FitToTexts();
    cut_->ShowDirectStartNote();
}

void CUlvaneAVConverterDlg::FitToTexts() {
    if (baseLayout_.rects.isEmpty()) return;  // still being built
    const DialogLayout fitted = FitCaptions(items_, baseLayout_);
    templateRects_ = fitted.rects;
    templateSize_ = fitted.size;
    if (!smallestFixed_) {
        // Wider where the join list's headings need it, and wider and taller where the segment
        // list needs it, under the cut controls.
        const int columns = join_->ExtraWidth(templateRects_.value(kSourceList).width());
        const int listWidth =
            cut_->segmentList()->minimumSizeHint().width() + 2 * templateRects_.value(kStatusLine).left();
        smallest_ = smallest_.expandedTo({std::max(templateSize_.width() + columns, listWidth),
                                          templateSize_.height() + SegmentRoom(*cut_) + StripRoom(*preview_)});
        setMinimumSize(smallest_);
        if (width() < minimumWidth() || height() < minimumHeight()) resize(size().expandedTo(minimumSize()));
    }
    LayOut();
}

void CUlvaneAVConverterDlg::FitEveryLanguage() {
    const std::string folder = (services_.dataDir + "/languages/").toStdString();
    const std::string active = table_.activeFile();
    for (std::string_view file : kLanguageFiles) {
        table_.Load(folder, std::string(file));
        ApplyLanguage();
    }
    table_.Load(folder, active);
    ApplyLanguage();
    smallestFixed_ = true;
    resize(smallest_);
}

void CUlvaneAVConverterDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    LayOut();
}

void CUlvaneAVConverterDlg::LayOut() {
    if (templateRects_.isEmpty()) return;  // still being built
    // The cut tab keeps the segment list's room under its controls, above the status line; the
    // join tab grows into it. The timeline strip takes its room under the preview, above the seek bar.
    // A window taller than its smallest gives the track list the rows it lacks first, the preview the rest.
    SegmentList* segments = cut_->segmentList();
    TrackList* tracks = cut_->trackList();
    const int stripRoom = StripRoom(*preview_), margin = templateRects_.value(kStatusLine).left();
    const int dx = std::max(0, width() - templateSize_.width()), dy = std::max(0, height() - templateSize_.height());
    const int smallestRoom = SegmentRoom(*cut_), listWidth = width() - 2 * margin;
    const int trackShare = smallestRoom - 3 * kSegmentGap - segments->minimumSizeHint().height();
    const int room = smallestRoom + std::clamp(tracks->HeightFor(listWidth) - trackShare, 0,
                                               std::max(0, dy - smallestRoom - stripRoom));
    const int cutDy = std::max(0, dy - room - stripRoom);
    const QRect preview = Anchored(templateRects_.value(kPreview), templateSize_, {dx, cutDy},
                                   baseLayout_.rects.value(kPreview), baseLayout_.size);
    preview_->timelineStrip()->setGeometry(margin, preview.bottom() + 1 + kSegmentGap, listWidth,
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
            // The segment list, and the track list under it: as high as its tracks need, as far
            // as the segment list can give room.
            const int lists = room - 3 * kSegmentGap;
            const int trackMinimum = tracks->minimumSizeHint().height();
            const int trackHeight = std::clamp(tracks->HeightFor(listWidth), trackMinimum,
                                               std::max(trackMinimum, lists - segments->minimumSizeHint().height()));
            segments->setGeometry(margin, r.top() + kSegmentGap, listWidth, lists - trackHeight);
            tracks->setGeometry(margin, r.top() + room - kSegmentGap - trackHeight, listWidth, trackHeight);
            r.translate(0, room);
        }
        if (it.key() == kAddButton)  // in the middle of the preview
            r = it.value().translated(grow.width() / 2, grow.height() / 2);
        if (it.key() == kEndPointButton)  // stays with the other cut buttons, on the left
            r.moveLeft(it.value().left());
        if (it.key() == kSeekBar) ItemAs<CBitmapSlider>(kSeekBar)->StretchTo(r.width());
        Item(it.key())->setGeometry(r);
    }
    join_->FitColumns();
    preview_->Regrab();
}

void CUlvaneAVConverterDlg::UpdateTitle() {
    // The loaded file is named after the program, as desktop programs do; the preview's
    // tooltip gives its whole path.
    // The version is the project's, which ulvane-cli --version prints too.
    const QString& path = cut_->cutSourcePath();
    QString title = context_.Text("APPLICATION", "name") + " " + QStringLiteral(ULVANE_VERSION);
    if (!path.isEmpty()) title += " - " + QFileInfo(path).fileName();
    setWindowTitle(title);
    Item(kPreview)->setToolTip(path.isEmpty() ? path : path + "\n" + context_.TracksText(cut_->info()));
    ItemAs<QLabel>(kStatusLine)->setText(path.isEmpty() ? QString() : StatusText(cut_->info()));
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
    auto* languageBox = ItemAs<QComboBox>(kLanguageBox);
    const QSignalBlocker quiet(languageBox);
    languageBox->setCurrentIndex(shown);
}

void CUlvaneAVConverterDlg::TellSettingsProblem() {
    if (toldSettingsProblem_) return;
    const std::string why = store_.SaveProblem();
    if (why.empty()) return;
    toldSettingsProblem_ = true;
    context_.Tell(context_.Text("TISHI", "szbnbc") + "\n\n" + ToQString(why));
}

void CUlvaneAVConverterDlg::SelectTab(int index) {
    if (index != 0 && index != 1) return;
    auto* tabs = ItemAs<QTabBar>(kTabs);
    if (tabs->currentIndex() != index) tabs->setCurrentIndex(index);  // comes back here
    for (int id : kCutControls) Item(id)->setVisible(index == 0);
    for (int id : kJoinControls) Item(id)->setVisible(index == 1);
    // The add button covers the preview only while nothing is loaded.
    if (index == 0 && !cut_->cutSourcePath().isEmpty()) Item(kAddButton)->hide();
    preview_->ShowForTab(index == 0);
    cut_->segmentList()->setVisible(index == 0);
    cut_->trackList()->setVisible(index == 0);
    preview_->timelineStrip()->setVisible(index == 0);
}

QString CUlvaneAVConverterDlg::TooltipFor(int controlId) const {
    for (const Hint& h : kHints)
        if (h.id == controlId) {
            const QString text = context_.Text("HINT", h.key);
            return h.shortcut && !text.isEmpty() ? text + " (" + h.shortcut + ")" : text;
        }
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

void CUlvaneAVConverterDlg::AddSourceFiles() {
    const QString filter =
        context_.Text("JIEMIAN", "symtwj") + " (" + MediaPatterns() + ");;" + context_.Text("JIEMIAN", "sywj") + " (*)";
    AddFiles(services_.chooseFiles(this, filter));
}

void CUlvaneAVConverterDlg::OpenFiles(const QStringList& files) {
    if (files.isEmpty()) return;
    SelectTab(files.size() == 1 ? 0 : 1);
    QStringList absolute;
    for (const QString& f : files) absolute << QFileInfo(f).absoluteFilePath();
    AddFiles(absolute);
}

void CUlvaneAVConverterDlg::DropFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) files << url.toLocalFile();
    AddFiles(files);
}

void CUlvaneAVConverterDlg::AddFiles(const QStringList& files) {
    const int tab = ItemAs<QTabBar>(kTabs)->currentIndex();
    if (files.isEmpty()) return;
    // A cut source is replaced only by a file that opens; the one loaded stays otherwise.
    QString cutPath;
    MediaInfo cutInfo;
    QStringList refused;  // one paragraph per file that cannot be used
    for (const QString& path : files) {
        // Keep painting while many files are probed.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        MediaInfo info;
        const int result = ProbeForWindow(path, info);
        if (result != kProbeOk || info.rangeStartMicros < 0 || info.rangeEndMicros < 0) {
            // A bad file is named and left out; the good ones of the same choice still come in.
            refused << context_.UnusableText(path, result);
            continue;
        }
        if (tab == 0) {
            cutPath = path;
            cutInfo = info;
        } else {
            join_->AddRow(path, info);
        }
    }
    if (!refused.isEmpty()) context_.Tell(refused.join("\n\n"));
    if (tab == 0 && !cutPath.isEmpty()) {
        cut_->Load(cutPath, cutInfo);
        UpdateTitle();
    }
}

void CUlvaneAVConverterDlg::closeEvent(QCloseEvent* e) {
    // During the window's job the user decides, and the window closes once the job has stopped;
    // running queued jobs are stopped if the user agrees, the waiting ones kept.
    if (!launcher_->MayClose()) {
        e->ignore();
        return;
    }
    preview_->Close();
    done(QDialog::Accepted);
    e->accept();
}

}  // namespace ulvane
