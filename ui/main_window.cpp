// The main window: start-up, languages, source list, preview and cut points, tabs.
#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QToolTip>
#include <QWindow>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "engine/media_probe.h"
#include "ui/progress_dialog.h"
#include "engine/run_conversion.h"
#include "ui/settings_dialog.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "ui/dialog_template.h"
#include "ui/preview_frame.h"
#include "core/time_text.h"

namespace ulvane {

namespace {

const QColor kWindowColour(187, 222, 251);
const QColor kListColour(241, 250, 233);

// The controls of each tab (the tab bar, the help link and the language box are in none).
const int kCutControls[] = {1004, 1183, 1140, 1154, 1149, 1000, 1018, 1019, 1157, 1023, 1024, 1025, 1172, 1139, 1184, 1188};
const int kJoinControls[] = {1099, 1114, 1254, 1255};

// Tooltip keys of section HINT by control.
struct Hint {
    int id;
    const char* key;
};
const Hint kHints[] = {{1000, "tjspwj"}, {1183, "tjspwj"}, {1255, "tjspwj"}, {1004, "ksjq"},   {1023, "zjsrsjd"},
                       {1024, "zjsrsjd"}, {1099, "hbcygwj"}, {1140, "djsbzj"}, {1149, "szjsjqd"}, {1154, "szksjqd"},
                       {1188, "bf"},      {1254, "sc"}};

// Media files the open dialog lists first.
const char kMediaPatterns[] =
    "*.rm *.rmvb *.flv *.swf *.f4v *.mov *.qt *.avi *.mpg *.mpeg *.mod *.tod *.mts *.ts *.nut *.h264 *.nsv *.dv "
    "*.m2t *.vob *.dat *.mkv *.mp4 *.m4v *.3gp *.3g2 *.3gpp *.asf *.wmv *.wm";

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString T(int32_t ms) { return Q(FormatTime(ms)); }
int32_t P(const QString& text) { return ParseTime(text.toStdString()); }

}  // namespace

WindowServices WindowServices::Default() {
    WindowServices s;
    s.programDir = GetProgramDir();
    s.chooseFiles = DefaultFileChooser();
    s.messages = &DefaultMessageSink();
    s.open = ShellOpen;
    s.pickFolder = DefaultFolderPicker();
    s.runSettings = [](OutputSettingsDialog& d) { return d.exec() == QDialog::Accepted; };
    return s;
}

CUlvaneAVConverterDlg::CUlvaneAVConverterDlg(WindowServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)), store_((services_.programDir + "/setting.ini").toStdString()) {
    QFont f = font();
    f.setPointSize(MainDialogTemplate().pointSize);
    setFont(f);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(QIcon(services_.programDir + "/images/266.png"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColour);
    setPalette(pal);
    setAutoFillBackground(true);

    items_ = BuildDialog(MainDialogTemplate(), this);
    tabs_ = ItemAs<QTabBar>(1160);
    helpLink_ = ItemAs<CHyperLink>(1180);
    languageBox_ = ItemAs<QComboBox>(1105);
    languageLabel_ = ItemAs<QLabel>(1278);
    sourceList_ = ItemAs<CCheckListCtrl>(1114);
    preview_ = ItemAs<PreviewFrame>(1139);
    seekBar_ = ItemAs<CBitmapSlider>(1140);
    startBox_ = ItemAs<QLineEdit>(1023);
    endBox_ = ItemAs<QLineEdit>(1024);
    lengthText_ = ItemAs<QLabel>(1025);
    positionText_ = ItemAs<QLabel>(1184);

    // The language box: the six names from setting.ini, the active file selected.
    for (int i = 1; i <= 6; ++i) languageBox_->addItem(Q(store_.LanguageName(i)));
    const std::string active = store_.LanguageFile();
    languageBox_->setCurrentIndex(LanguagePosition(active).value_or(-1));
    table_.Load((services_.programDir + "/languages/").toStdString(), active);
    connect(languageBox_, &QComboBox::currentIndexChanged, this, &CUlvaneAVConverterDlg::SelectLanguage);

    tabs_->addTab(Q(table_.Text("JIEMIAN", "spjq")));
    tabs_->addTab(Q(table_.Text("JIEMIAN", "sphb")));
    tabs_->setDrawBase(false);
    connect(tabs_, &QTabBar::currentChanged, this, &CUlvaneAVConverterDlg::SelectTab);

    SetUpSourceList();
    ApplyLanguage();
    startBox_->setText(T(0));
    endBox_->setText(T(0));
    connect(startBox_, &QLineEdit::textChanged, this, &CUlvaneAVConverterDlg::OnTimeEdited);
    connect(endBox_, &QLineEdit::textChanged, this, &CUlvaneAVConverterDlg::OnTimeEdited);
    SetUpButtons();
    SetUpSeekBar();

    for (const Hint& h : kHints)
        if (QWidget* w = Item(h.id)) w->installEventFilter(this);
    qApp->installEventFilter(this);  // the Delete key, whichever control has the focus

    progress_ = new CAVConvertDlg(this);
    monitorTimer_.setInterval(500);
    connect(&monitorTimer_, &QTimer::timeout, this, &CUlvaneAVConverterDlg::OnMonitorTick);
    connect(progress_, &CAVConvertDlg::stopRequested, this, [this] {
        // The stop button: the monitor's closing sequence, with no report.
        struct Stop : MonitorView {
            CUlvaneAVConverterDlg* w;
            void SetCurrentLine(const std::string&) override {}
            void SetOverallLine(const std::string&) override {}
            void SetFileBar(int) override {}
            void SetOverallBar(int) override {}
            void MarkRow(int, const std::string&, bool) override {}
            void StopTimer() override { w->monitorTimer_.stop(); }
            void CloseProgress() override { w->progress_->done(QDialog::Accepted); }
            void ShowMessage(const std::string&) override {}
            void Open(const std::string&) override {}
        } stop;
        stop.w = this;
        MonitorClose(Job(), stop);
    });
    connect(ItemAs<CControlButton>(1004), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::LaunchCut);
    connect(ItemAs<CControlButton>(1099), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::LaunchJoin);
}

CUlvaneAVConverterDlg::~CUlvaneAVConverterDlg() {
    qApp->removeEventFilter(this);
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
}

void CUlvaneAVConverterDlg::WaitForWorker() {
    if (worker_.joinable()) worker_.join();
}

QString CUlvaneAVConverterDlg::Text(const char* section, const char* key) const { return Q(table_.Text(section, key)); }

QString CUlvaneAVConverterDlg::Resolve(const QString& target) const {
    // A relative target (the help page) lies beside the program.
    if (target.isEmpty() || target.contains("://") || QFileInfo(target).isAbsolute()) return target;
    return services_.programDir + "/" + target;
}

QImage CUlvaneAVConverterDlg::Image(int id) const {
    return QImage(QString("%1/images/%2.bmp").arg(services_.programDir).arg(id));
}

void CUlvaneAVConverterDlg::SetUpButtons() {
    struct Face {
        int id, image;
        bool shaped;
    };
    const Face faces[] = {{1000, 178, true}, {1004, 186, true}, {1099, 295, false}, {1149, 321, true}, {1154, 320, true},
                          {1183, 254, true}, {1188, 326, true}, {1254, 331, true},  {1255, 178, true}};
    for (const Face& f : faces) {
        auto* b = ItemAs<CControlButton>(f.id);
        const QImage face = Image(f.image);
        b->SetFaceBitmaps(face, face, face, face);
        if (f.shaped) b->SetRegionFromBitmap(face);
        b->setCursor(Qt::PointingHandCursor);
    }
    connect(ItemAs<CControlButton>(1000), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::AddSourceFiles);
    connect(ItemAs<CControlButton>(1183), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::AddSourceFiles);
    connect(ItemAs<CControlButton>(1255), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::AddSourceFiles);
    connect(ItemAs<CControlButton>(1254), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::RemoveSelectedSource);
    connect(ItemAs<CControlButton>(1154), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::SetStartPoint);
    connect(ItemAs<CControlButton>(1149), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::SetEndPoint);
    connect(ItemAs<CControlButton>(1188), &QAbstractButton::clicked, this, &CUlvaneAVConverterDlg::Play);
    ItemAs<CControlButton>(1004)->setEnabled(true);
    ItemAs<CControlButton>(1099)->setEnabled(true);
}

void CUlvaneAVConverterDlg::SetUpSeekBar() {
    seekBar_->LoadChannelBitmaps(Image(306), Image(307));
    seekBar_->LoadThumbBitmaps(Image(308), Image(308));
    seekBar_->ShowFocusRect(false);
    seekBar_->SetRange(0, 1000);
    seekBar_->SetPosition(0);
    seekBar_->SetMargins(0, 4, 4, 0);
    seekBar_->setEnabled(false);  // until a file is loaded
    connect(seekBar_, &CBitmapSlider::sliderMoving, this, &CUlvaneAVConverterDlg::OnSliderMoving);
}

void CUlvaneAVConverterDlg::SetUpSourceList() {
    sourceList_->setColumnCount(6);
    const int widths[] = {175, 60, 90, 70, 70, 40};
    for (int c = 0; c < 6; ++c) {
        sourceList_->setHorizontalHeaderItem(c, new QTableWidgetItem());
        sourceList_->setColumnWidth(c, widths[c]);
    }
    sourceList_->InitHeaderCheckBox(Image(292));
    sourceList_->setTextElideMode(Qt::ElideMiddle);
    QPalette p = sourceList_->palette();
    p.setColor(QPalette::Base, kListColour);
    sourceList_->setPalette(p);
}

void CUlvaneAVConverterDlg::ApplyLanguage() {
    const auto t = [this](const char* s, const char* k) { return Q(table_.Text(s, k)); };
    QFont linkFont = helpLink_->font();
    linkFont.setFamilies({"Microsoft Sans Serif", "DejaVu Sans", linkFont.family()});
    linkFont.setPointSize(10);
    helpLink_->setFont(linkFont);
    helpLink_->setText(t("JIEMIAN", "zysybrj"));
    helpLink_->SetBaseFolder(services_.programDir);
    helpLink_->SetOpeners(services_.open, nullptr);
    helpLink_->SetTarget(t("APPLICATION", "url"));
    helpLink_->SetUnderlineMode(CHyperLink::UnderlineAlways);
    ItemAs<QLabel>(1018)->setText(t("JIEMIAN", "ksjq"));
    ItemAs<QLabel>(1019)->setText(t("JIEMIAN", "jsjq"));
    ItemAs<QLabel>(1157)->setText(t("JIEMIAN", "jqsj"));
    languageLabel_->setText(t("JIEMIAN", "yy"));
    for (int id : {1018, 1019, 1157}) FitTextToWidth(Item(id));
    const char* columns[] = {"ywj", "spgs", "spcd", "spdx", "zl", "zt"};
    for (int c = 0; c < 6; ++c) sourceList_->horizontalHeaderItem(c)->setText((c == 0 ? "     " : "") + t("JIEMIAN", columns[c]));
    // The status column is as wide as its longest word in this language needs; the path
    // column gives up what it takes (paths are elided in the middle anyway).
    const QFontMetrics m(sourceList_->font());
    int status = 40;
    for (const char* key : {"zb", "wc", "sb"})
        status = std::max(status, m.horizontalAdvance(Q(table_.Text(key[0] == 'z' ? "JIEMIAN" : "TISHI", key))) + 14);
    sourceList_->setColumnWidth(5, status);
    const int room = sourceList_->width() - 2 * sourceList_->frameWidth() - (60 + 90 + 70 + 70 + status);
    sourceList_->setColumnWidth(0, std::max(100, std::min(175 - (status - 40), room)));
    tabs_->setTabText(0, t("JIEMIAN", "spjq"));
    tabs_->setTabText(1, t("JIEMIAN", "sphb"));
    setWindowTitle(t("APPLICATION", "name") + " " + t("APPLICATION", "version"));
}

void CUlvaneAVConverterDlg::SelectLanguage(int position) {
    if (position < 0 || position >= static_cast<int>(kLanguageFiles.size())) return;
    const std::string file(kLanguageFiles[static_cast<size_t>(position)]);
    store_.WriteLanguageFile(file);
    table_.Load((services_.programDir + "/languages/").toStdString(), file);
    ApplyLanguage();
    if (languageBox_->currentIndex() != position) languageBox_->setCurrentIndex(position);
}

void CUlvaneAVConverterDlg::SelectTab(int index) {
    if (index != 0 && index != 1) return;
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);  // comes back here
    for (int id : kCutControls) Item(id)->setVisible(index == 0);
    for (int id : kJoinControls) Item(id)->setVisible(index == 1);
    // The add button covers the preview only while nothing is loaded.
    if (index == 0 && !cutSourcePath_.isEmpty()) Item(1000)->hide();
}

QString CUlvaneAVConverterDlg::TooltipFor(int controlId) const {
    for (const Hint& h : kHints)
        if (h.id == controlId) return Q(table_.Text("HINT", h.key));
    return {};
}

ConversionJob& CUlvaneAVConverterDlg::Job() {
    if (!job_) job_ = std::make_unique<ConversionJob>();
    return *job_;
}

void CUlvaneAVConverterDlg::AddSourceFiles() {
    const QString filter = Q(table_.Text("JIEMIAN", "symtwj")) + " (" + kMediaPatterns + ");;" +
                           Q(table_.Text("JIEMIAN", "sywj")) + " (*)";
    const int tab = tabs_->currentIndex();
    const QStringList files = services_.chooseFiles(this, filter);
    if (files.isEmpty()) return;
    int added = 0;
    if (tab == 0) cutSourcePath_.clear();
    for (const QString& path : files) {
        // Keep painting while many files are probed.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ConversionJob& job = Job();
        job.probePath = path.toStdString();
        const int result = ProbeMediaFile(job);
        if (result != kProbeOk || job.info.rangeStartMicros < 0 || job.info.rangeEndMicros < 0) {
            const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
            services_.messages->Show(this, windowTitle(),
                                     Q(table_.Text("TISHI", "wj")) + name + " " + Q(table_.Text("TISHI", "wx")), true);
            break;
        }
        if (tabs_->currentIndex() == 0) cutSourcePath_ = path;
        ++added;
        if (tabs_->currentIndex() == 1) {
            const MediaInfo& i = job.info;
            const double rate = i.frameRateDen != 0 ? static_cast<double>(i.frameRateNum) / i.frameRateDen : 0.0;
            sourceList_->clearSelection();
            sourceList_->AddRow({path, Q(FileExtensionText(path.toStdString())),
                                 T(static_cast<int32_t>(std::min<int64_t>(i.durationMicros / 1000, INT32_MAX))),
                                 Q(SizeText(i.videoWidth, i.videoHeight)), QString::asprintf("%5.2ffps", rate),
                                 Q(table_.Text("JIEMIAN", "zb"))});
        }
    }
    if (tab == 0 && !cutSourcePath_.isEmpty()) LoadCutSource();
}

void CUlvaneAVConverterDlg::RemoveSelectedSource() {
    const QList<QTableWidgetItem*> selected = sourceList_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.first()->row();
    sourceList_->removeRow(row);
    if (sourceList_->rowCount() > 0) {
        const int next = std::min(row, sourceList_->rowCount() - 1);
        sourceList_->selectRow(next);
        sourceList_->setCurrentCell(next, 0);
        sourceList_->setFocus();
    }
}

QString CUlvaneAVConverterDlg::snapshotPath() const { return services_.programDir + "/image.bmp"; }

void CUlvaneAVConverterDlg::ShowPreviewFrame(double seconds) {
    ConversionJob& job = Job();
    job.currentInput.store(0);
    previewImagePath_ = snapshotPath();
    ++grabCount_;
    std::string error;
    // A failed grab leaves the snapshot as it was, and the preview shows that.
    grabber_.Grab(cutSourcePath_.toStdString(), seconds, previewImagePath_.toStdString(), error);
    preview_->ShowFile(previewImagePath_);
}

void CUlvaneAVConverterDlg::LoadCutSource() {
    Item(1000)->hide();
    ShowPreviewFrame(0);
    shownPosition_ = 0;
    previewPositionMs_ = 0;
    seekBar_->SetPosition(0);
    const MediaInfo& i = Job().info;
    const int64_t d = i.durationMicros / 1000, s = i.rangeStartMicros / 1000, e = i.rangeEndMicros / 1000;
    if (d <= 0) {
        // Under a millisecond: a source of length zero, nothing to seek in.
        seekBar_->SetSelectionStart(0);
        seekBar_->SetSelectionEnd(1000);
    } else {
        seekBar_->SetSelectionStart(static_cast<int>(s * 1000 / d));
        seekBar_->SetSelectionEnd(static_cast<int>(e * 1000 / d));
    }
    const auto ms = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, INT32_MAX)); };
    startBox_->setText(T(ms(s)));
    endBox_->setText(T(ms(e)));
    lengthText_->setText(T(ms(e - s)));
    positionText_->setText(T(ms(s)) + " / " + T(ms(e)));
    seekBar_->setEnabled(d > 0);
}

void CUlvaneAVConverterDlg::OnSliderMoving(int, int) {
    // Grabs take a few milliseconds; moves that arrive meanwhile are folded into one grab
    // of the newest position, so the preview never lags behind a fast drag.
    if (grabScheduled_) return;
    grabScheduled_ = true;
    QMetaObject::invokeMethod(this, &CUlvaneAVConverterDlg::GrabNewestPosition, Qt::QueuedConnection);
}

void CUlvaneAVConverterDlg::GrabNewestPosition() {
    grabScheduled_ = false;
    if (cutSourcePath_.isEmpty()) return;
    const float f = static_cast<float>(seekBar_->GetPosition()) / 1000.0f;
    const double total = static_cast<double>(Job().info.durationMicros) / 1e6;
    const double t = total * f;
    previewPositionMs_ = static_cast<int32_t>(std::min(t * 1000, static_cast<double>(INT32_MAX)));
    positionText_->setText(T(previewPositionMs_) + " / " + T(static_cast<int32_t>(std::min(total * 1000, 2e9))));
    const int position = seekBar_->GetPosition();
    ShowPreviewFrame(t);
    shownPosition_ = position;
}

void CUlvaneAVConverterDlg::SetStartPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionStart(seekBar_->GetPosition());
    seekBar_->SetSelectionMode(1);
    const int32_t d = static_cast<int32_t>(std::min<int64_t>(Job().info.durationMicros / 1000, INT32_MAX));
    startBox_->setText(T(previewPositionMs_));
    endBox_->setText(T(d));
    lengthText_->setText(T(d - previewPositionMs_));
}

void CUlvaneAVConverterDlg::SetEndPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionEnd(seekBar_->GetPosition());
    seekBar_->SetSelectionMode(2);
    const int32_t s = P(startBox_->text());
    const int32_t p = previewPositionMs_;
    if (s < p) {
        endBox_->setText(T(p));
        lengthText_->setText(T(p - s));
    } else {
        // The end lies before the start: the two times change places.
        startBox_->setText(T(p));
        endBox_->setText(T(s));
        lengthText_->setText(T(s - p));
    }
}

void CUlvaneAVConverterDlg::OnTimeEdited() {
    const int32_t s = P(startBox_->text()), e = P(endBox_->text());
    lengthText_->setText(T(e > s ? e - s : 0));
}

void CUlvaneAVConverterDlg::Play() {
    if (cutSourcePath_.isEmpty()) return;  // nothing loaded: nothing to play
    services_.open(cutSourcePath_);
}

bool CUlvaneAVConverterDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && (w == this || isAncestorOf(w)) && isActiveWindow()) {
            RemoveSelectedSource();
            return true;
        }
    }
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

void CUlvaneAVConverterDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(e);
}

void CUlvaneAVConverterDlg::mousePressEvent(QMouseEvent* e) {
    // Dragging anywhere on the background moves the window.
    if (e->button() == Qt::LeftButton && windowHandle()) windowHandle()->startSystemMove();
    QDialog::mousePressEvent(e);
}

void CUlvaneAVConverterDlg::closeEvent(QCloseEvent* e) {
    // A stopped job's worker may still be finishing: it goes before the record does.
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
    job_.reset();
    grabber_.Release();
    done(QDialog::Accepted);
    e->accept();
}

// ------------------------------------------------------------------ launches ---

namespace {

// The window and its progress dialog as the job monitor sees them.
struct WindowMonitorView : MonitorView {
    CUlvaneAVConverterDlg* window;
    CAVConvertDlg* dialog;
    CCheckListCtrl* list;
    QTimer* timer;
    MessageSink* messages;
    std::function<void(const QString&)> open;
    void SetCurrentLine(const std::string& t) override { dialog->SetCurrentLine(QString::fromStdString(t)); }
    void SetOverallLine(const std::string& t) override { dialog->SetOverallLine(QString::fromStdString(t)); }
    void SetFileBar(int p) override { dialog->SetFileBar(p); }
    void SetOverallBar(int p) override { dialog->SetOverallBar(p); }
    void MarkRow(int row, const std::string& status, bool uncheck) override {
        if (row < 0 || row >= list->rowCount()) return;
        list->item(row, 5)->setText(QString::fromStdString(status));
        if (uncheck) list->SetChecked(row, false);
    }
    void StopTimer() override { timer->stop(); }
    void CloseProgress() override { dialog->done(QDialog::Accepted); }
    void ShowMessage(const std::string& t) override {
        messages->Show(window, window->windowTitle(), QString::fromStdString(t), false);
    }
    void Open(const std::string& target) override { open(QString::fromStdString(target)); }
};

}  // namespace

void CUlvaneAVConverterDlg::OnMonitorTick() {
    if (!job_) return;
    monitor_.joinTab = tabs_->currentIndex() == 1;
    monitor_.joinRows = joinRows_;
    monitor_.rowPaths.clear();
    for (int r = 0; r < sourceList_->rowCount(); ++r) monitor_.rowPaths.push_back(sourceList_->item(r, 0)->text().toStdString());
    monitor_.cutSourcePath = cutSourcePath_.toStdString();
    monitor_.lastOutputFolder = lastOutputFolder_.toStdString();
    MonitorTexts texts;
    texts.wjwc = table_.Text("TISHI", "wjwc");
    texts.wjwczg = table_.Text("TISHI", "wjwczg");
    texts.wj1 = table_.Text("TISHI", "wj1");
    texts.sb = table_.Text("TISHI", "sb");
    texts.wc = table_.Text("TISHI", "wc");
    texts.jqcg = table_.Text("TISHI", "jqcg");
    texts.jqsb = table_.Text("TISHI", "jqsb");
    texts.hbcg = table_.Text("TISHI", "hbcg");
    texts.hbsb = table_.Text("TISHI", "hbsb");
    texts.url = table_.Text("APPLICATION", "url");
    WindowMonitorView view;
    view.window = this;
    view.dialog = progress_;
    view.list = sourceList_;
    view.timer = &monitorTimer_;
    view.messages = services_.messages;
    view.open = [this](const QString& t) { services_.open(Resolve(t)); };
    MonitorTick(*job_, monitor_, texts, view);
}

bool CUlvaneAVConverterDlg::StartWorker() {
    WaitForWorker();  // a stopped job's worker finishes before the next one starts
    ConversionJob* job = job_.get();
    try {
        worker_ = std::thread([job] { RunConversion(*job); });
    } catch (const std::system_error&) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "xcsb"), true);
        return false;
    }
    monitorTimer_.start();
    progress_->ApplyTexts(table_);
    progress_->SetCurrentLine("");
    progress_->SetOverallLine("");
    progress_->SetFileBar(0);
    progress_->SetOverallBar(0);
    progress_->exec();
    return true;
}

void CUlvaneAVConverterDlg::LaunchCut() {
    if (cutSourcePath_.isEmpty()) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "qxtjsp"), true);
        return;
    }
    WaitForWorker();
    monitor_.finishedInputs = 0;
    ConversionJob& job = Job();
    PrepareCutJob(job);
    const std::string source = cutSourcePath_.toStdString();
    CFileInfomation dialog(store_, table_, *services_.messages, services_.pickFolder,
                           QString::fromStdString(DefaultOutputName(source)), this);
    if (!services_.runSettings(dialog)) return;
    const CutLaunch cut{source, P(startBox_->text()), P(endBox_->text()), dialog.choice()};
    if (!FillCutJob(job, cut, PathExists).ok()) {
        // A source named without "." has no container to copy into.
        services_.messages->Show(this, windowTitle(), Text("TISHI", "wkzm"), true);
        return;
    }
    lastOutputFolder_ = dialog.outputFolder();
    StartWorker();
}

void CUlvaneAVConverterDlg::LaunchJoin() {
    if (sourceList_->rowCount() == 0) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "qxtjsp"), true);
        return;
    }
    joinRows_.clear();
    for (int r = 0; r < sourceList_->rowCount(); ++r)
        if (sourceList_->IsChecked(r)) joinRows_.push_back(r);
    if (joinRows_.size() < 2) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "zslgwj"), true);
        return;
    }
    if (joinRows_.size() > static_cast<size_t>(kMaxInputs)) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "tdwj"), true);
        return;
    }
    WaitForWorker();
    monitor_.finishedInputs = 0;
    ConversionJob& job = Job();
    PrepareJoinJob(job, static_cast<int>(joinRows_.size()));
    CSettings dialog(store_, table_, *services_.messages, services_.pickFolder, this);
    if (!services_.runSettings(dialog)) return;
    JoinLaunch join{{}, dialog.choice()};
    for (int row : joinRows_) {
        const auto text = [&](int column) { return sourceList_->item(row, column)->text().toStdString(); };
        join.files.push_back({text(0), true, text(1), text(3), int64_t{P(sourceList_->item(row, 2)->text())} * 1000});
    }
    if (!FillJoinJob(job, join, PathExists).ok()) {
        // Unlike files, or a file without an extension: neither can be joined directly.
        services_.messages->Show(this, windowTitle(), Text("TISHI", "bnzjhb"), true);
        return;
    }
    lastOutputFolder_ = dialog.outputFolder();
    StartWorker();
}

}  // namespace ulvane
