// The cut and join settings dialogs.
#include "ui/settings_dialog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>

#include "core/language_table.h"
#include "core/output_naming.h"
#include "engine/container_fit.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"

namespace ulvane {

std::string TestOutputFolder(const std::string& folder) {
    if (folder.empty() || !PathExists(folder)) return "missing";
    const std::string probe = folder + "/jlewhqlhqwenqfwk.mp4";
    const bool existed = PathExists(probe);
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return "unwritable";
    ::close(fd);
    if (!existed) ::unlink(probe.c_str());
    return {};
}

FolderPicker DefaultFolderPicker() {
    return [](QWidget* parent, const QString& title) { return QFileDialog::getExistingDirectory(parent, title); };
}

namespace {

// The bytes a direct job's extension may take (".webm", ".m2ts" and the like).
constexpr size_t kDirectExtensionRoom = 6;

// The ids of the six lists and the texts of each dialog.
struct Ids {
    int exact, direct, indirect, lists[6], channel, folder, browse, name, start, note;
    const char* title;
    std::vector<std::pair<int, const char*>> captions;
};

const Ids& IdsOf(Dialog d) {
    using namespace settings_id;
    static const Ids cut{
        kCutExactRadio,
        kCutDirectRadio,
        kIndirectRadio,
        {kFormatList, kCutQualityList, kCutSizeList, kFrameRateList, kCutAudioQualityList, kCutSampleRateList},
        0,
        kFolderBox,
        kCutBrowseButton,
        kNameBox,
        kCutStartButton,
        kCutNote,
        "jqszbt",
        {{kCutPlanCaption, "yzfa"},
         {kCutExactRadio, "jqzj"},
         {kCutDirectRadio, "zjjq"},
         {kIndirectRadio, "jjjq"},
         {kCutFormatCaption, "spgs"},
         {kCutQualityCaption, "spzl"},
         {kCutSizeCaption, "spdx"},
         {kCutFrameRateCaption, "zl"},
         {kCutAudioQualityCaption, "ypzl"},
         {kCutSampleRateCaption, "ypcyl"},
         {kCutNote, "zyzjjq"},
         {kCutFolderCaption, "scml"},
         {kCutBrowseButton, "ll"},
         {kCutNameCaption, "wjm"},
         {kCutStartButton, "ksjq1"},
         {kCancelButton, "qx"}}};
    static const Ids join{
        kJoinExactRadio,
        kJoinDirectRadio,
        kIndirectRadio,
        {kFormatList, kJoinQualityList, kJoinSizeList, kFrameRateList, kJoinAudioQualityList, kJoinSampleRateList},
        kJoinChannelList,
        kFolderBox,
        kJoinBrowseButton,
        kNameBox,
        kJoinStartButton,
        kJoinNote,
        "hbszbt",
        {{kJoinPlanCaption, "yzfa"},
         {kJoinExactRadio, "jqhb"},
         {kJoinDirectRadio, "zjhb"},
         {kIndirectRadio, "jjhb"},
         {kJoinFormatCaption, "spgs"},
         {kJoinQualityCaption, "spzl"},
         {kJoinSizeCaption, "spdx"},
         {kJoinFrameRateCaption, "zl"},
         {kJoinAudioQualityCaption, "ypzl"},
         {kJoinSampleRateCaption, "ypcyl"},
         {kJoinNote, "zyzjhb"},
         {kJoinFolderCaption, "scml"},
         {kJoinBrowseButton, "ll"},
         {kJoinNameCaption, "wjm"},
         {kJoinStartButton, "kshb"},
         {kCancelButton, "qx"}}};
    return d == Dialog::Cut ? cut : join;
}

void SetCaption(QWidget* w, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
}

// The cut dialog's export choices take this many dialog units below the template's items; the
// buttons move down by as much.
constexpr int kExportRoom = 66;

struct ExtraItem {
    int id;
    QRect dlu;
    const char* key;  // its caption in the EXPORT section
};
constexpr ExtraItem kCutExtras[] = {
    {export_id::kGroup, {1, 180, 353, 62}, nullptr},         {export_id::kCaption, {9, 186, 330, 8}, "dcfs"},
    {export_id::kSeparateRadio, {20, 196, 328, 10}, "mdyg"}, {export_id::kMergeRadio, {20, 207, 328, 10}, "hbwy"},
    {export_id::kOutsideRadio, {20, 218, 328, 10}, "cwhb"},  {export_id::kChaptersCheck, {20, 229, 328, 10}, "mdzj"},
};
// Beside the join dialog's buttons, left of them.
constexpr ExtraItem kJoinExtras[] = {
    {export_id::kChaptersCheck, {10, 193, 220, 10}, "mwzj"},
};

// The constant-quality rows of the quality list, shown with a word of the active language:
// "High quality (CRF 18)".
constexpr std::pair<std::string_view, const char*> kQualityWords[] = {
    {"CRF 18", "gzl"}, {"CRF 23", "zzl"}, {"CRF 28", "dzl"}};

void Fill(QComboBox* box, std::span<const std::string_view> labels, int storedRow) {
    box->clear();
    for (std::string_view l : labels) box->addItem(QString::fromUtf8(l.data(), static_cast<int>(l.size())));
    // A stored row outside the list leaves the list without a selection.
    box->setCurrentIndex(storedRow >= 0 && storedRow < box->count() ? storedRow : -1);
}

}  // namespace

OutputSettingsDialog::OutputSettingsDialog(Dialog kind, const SettingsStore& store, const LanguageTable& language,
                                           MessageSink& messages, FolderPicker pickFolder, const QString& defaultName,
                                           QWidget* parent)
    : QDialog(parent),
      kind_(kind),
      store_(store),
      language_(language),
      messages_(messages),
      pickFolder_(std::move(pickFolder)) {
    const DialogTemplate& t = kind == Dialog::Cut ? CutSettingsTemplate() : JoinSettingsTemplate();
    QFont f = font();
    f.setPointSize(t.pointSize);
    setFont(f);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    items_ = BuildDialog(t, this);
    const Ids& ids = IdsOf(kind);
    const auto text = [&](const char* s, const char* k) {
        return QString::fromStdString(language_.ReadFromFile(s, k));
    };
    setWindowTitle(text("JIEMIAN", ids.title));
    for (const auto& [id, key] : ids.captions) SetCaption(Item(id), text("JIEMIAN", key));
    tip_ = ItemAs<QLabel>(ids.note)->text();
    if (kind == Dialog::Join) {
        Item(ids.start)->setToolTip(text("JIEMIAN", "kshb"));
        Item(ids.exact)->setEnabled(false);  // whole files start on their first picture anyway
    }

    const RowChoice rows = store_.ReadRows(kind);
    Fill(List(0), {}, -1);
    for (const OutputPreset& p : FormatPresets())
        List(0)->addItem(QString::fromUtf8(p.label.data(), static_cast<int>(p.label.size())));
    List(0)->setCurrentIndex(rows.format >= 0 && rows.format < List(0)->count() ? rows.format : -1);
    Fill(List(1), VideoBitRateLabels(), rows.quality);
    for (int k = 0; k < List(1)->count(); ++k)
        for (const auto& [label, key] : kQualityWords)
            if (List(1)->itemText(k) == QLatin1String(label.data(), static_cast<int>(label.size())))
                List(1)->setItemText(k, text("JIEMIAN", key) + " (" + List(1)->itemText(k) + ")");
    Fill(List(2), SizeLabels(), rows.size);
    Fill(List(3), FrameRateLabels(kind), rows.framerate);
    for (QComboBox* list : {List(2), List(3)})  // the source's own size and rate
        for (int k = 0; k < list->count(); ++k)
            if (list->itemText(k).isEmpty()) list->setItemText(k, text("JIEMIAN", "ywjyy"));
    Fill(List(4), AudioBitRateLabels(kind), rows.audioquality);
    Fill(List(5), SampleRateLabels(kind), rows.samplerate);
    if (ids.channel) Fill(ItemAs<QComboBox>(ids.channel), ChannelLabels(), kJoinChannelRow);
    AddExportItems();
    AddContainerItems();
    // Longer texts of other languages widen their captions (and the dialog), never shrink;
    // the lists of one column widen together, so that the rows beside them stay in line.
    const QList<QList<int>> columns{{ids.lists[1], ids.lists[3], ids.lists[4]}, {ids.lists[2], ids.lists[5]}};
    const DialogLayout fitted = FitCaptions(items_, CurrentLayout(items_, this), columns);
    ApplyLayout(items_, fitted);
    setFixedSize(fitted.size);

    ItemAs<QLineEdit>(ids.folder)->setText(QString::fromStdString(store_.OutputFolder()));
    ItemAs<QLineEdit>(ids.folder)->setReadOnly(false);  // a folder may be typed; it is tested at start
    ItemAs<QLineEdit>(ids.name)->setText(kind == Dialog::Cut ? defaultName : text("JIEMIAN", "hbhwj"));
    connect(ItemAs<QRadioButton>(ids.direct), &QRadioButton::clicked, this, [this] { SetDirect(true); });
    connect(ItemAs<QRadioButton>(ids.indirect), &QRadioButton::clicked, this, [this] { SetDirect(false); });
    connect(ItemAs<QRadioButton>(ids.exact), &QRadioButton::clicked, this, [this] { SetExact(); });
    connect(ItemAs<QPushButton>(ids.browse), &QPushButton::clicked, this, &OutputSettingsDialog::Browse);
    connect(ItemAs<QPushButton>(ids.start), &QPushButton::clicked, this, &OutputSettingsDialog::Start);
    // Enter starts, wherever the focus is; Escape and the cancel button close the dialog.
    ItemAs<QPushButton>(ids.start)->setDefault(true);
    connect(ItemAs<QPushButton>(settings_id::kCancelButton), &QPushButton::clicked, this, &QDialog::reject);
    // The method chosen last time; the first time a cut opens on the exact direct cut, a join on
    // the direct join.
    ShowMethod(
        store_.ReadRow(kind == Dialog::Cut ? settings_keys::kCut : settings_keys::kJoin, settings_keys::kMethod));
}

void OutputSettingsDialog::ShowMethod(int method) {
    const QWidget* exact = Item(IdsOf(kind_).exact);
    if (method == 3)
        SetDirect(false);
    else if (method == 2 || !exact->isEnabled())
        SetDirect(true);
    else
        SetExact();
}

void OutputSettingsDialog::OfferClips() {
    if (kind_ != Dialog::Join) return;
    clips_ = true;
    Item(IdsOf(kind_).exact)->setEnabled(true);
    ShowMethod(store_.ReadRow(settings_keys::kJoin, settings_keys::kClipMethod));
}

void OutputSettingsDialog::SetSources(std::vector<JobSource> sources) {
    sources_ = std::move(sources);
    refusals_.clear();
    UpdateNote();
}

bool OutputSettingsDialog::Copies() const {
    const Ids& ids = IdsOf(kind_);
    return ItemAs<QRadioButton>(ids.direct)->isChecked() || ItemAs<QRadioButton>(ids.exact)->isChecked();
}

QString OutputSettingsDialog::ContainerRefusal(const std::string& container) {
    if (container.empty()) return {};
    if (const auto known = refusals_.find(container); known != refusals_.end()) return known->second;
    QString why;
    for (const JobSource& source : sources_) {
        const QFileInfo file(QString::fromStdString(source.path));
        if (file.suffix().compare(QString::fromStdString(container), Qt::CaseInsensitive) == 0) continue;
        // A file that cannot be read fails in the job, with the reader's reason.
        const ContainerFit fit = FitContainer(source.path, container, source.tracks);
        if (!fit.opened || fit.refused.empty()) continue;
        why = QString::fromStdString(language_.ReadFromFile("JIEMIAN", fit.refusedKind == 'v' ? "rqhv" : "rqha"))
                  .arg(QString::fromStdString(container).toUpper(), file.fileName(),
                       QString::fromStdString(fit.refusedCodec), file.suffix().toUpper());
        break;
    }
    refusals_[container] = why;
    return why;
}

void OutputSettingsDialog::UpdateNote() {
    auto* note = ItemAs<QLabel>(IdsOf(kind_).note);
    const QString why = Copies() ? ContainerRefusal(ContainerChoice()) : QString();
    note->setText(why.isEmpty() ? tip_ : why);
    note->setToolTip(why);
    if (why.isEmpty()) return;
    // A longer line wraps, and what lies below it makes room (it stays for the dialog's life).
    note->setWordWrap(true);
    const int needed = note->heightForWidth(note->width());
    if (needed <= note->height()) return;
    const QRect before = note->geometry();
    MakeRoomBelow(before.bottom() + 1, needed - before.height());
    note->setGeometry(before.adjusted(0, 0, 0, needed - before.height()));
}

void OutputSettingsDialog::MakeRoomBelow(int y, int room) {
    for (QWidget* w : std::as_const(items_)) {
        QRect r = w->geometry();
        if (r.top() >= y)
            r.translate(0, room);
        else if (qobject_cast<QGroupBox*>(w) && r.bottom() > y)
            r.setHeight(r.height() + room);
        w->setGeometry(r);
    }
    setFixedSize(size() + QSize(0, room));
}

void OutputSettingsDialog::AddExportItems() {
    const bool cut = kind_ == Dialog::Cut;
    const QSize base = DialogBaseUnits(font());
    const DialogTemplate& t = cut ? CutSettingsTemplate() : JoinSettingsTemplate();
    if (cut) {
        // The buttons go below the export choices, and the dialog grows by as much.
        for (const TemplateItem& item : t.items)
            if (item.id == settings_id::kCancelButton || item.id == settings_id::kCutStartButton)
                Item(item.id)->setGeometry(DluToPixels(item.dlu.translated(0, kExportRoom), base));
        setFixedSize(DluToPixels(QRect(QPoint(0, 0), t.dlu + QSize(0, kExportRoom)), base).size());
        modes_ = new QButtonGroup(this);
    }
    QWidget* last = Item(settings_id::kNameBox);
    for (const ExtraItem& extra :
         cut ? std::span<const ExtraItem>(kCutExtras) : std::span<const ExtraItem>(kJoinExtras)) {
        const QString text =
            extra.key ? QString::fromStdString(language_.ReadFromFile("EXPORT", extra.key)) : QString();
        QWidget* w = nullptr;
        if (extra.id == export_id::kGroup) {
            w = new QGroupBox(this);
        } else if (extra.id == export_id::kCaption) {
            w = new QLabel(text, this);
        } else if (extra.id == export_id::kChaptersCheck) {
            w = new QCheckBox(text, this);
        } else {
            auto* radio = new QRadioButton(text, this);
            // Their own group: the method's radios beside them stay a choice of their own.
            modes_->addButton(radio, extra.id);
            connect(radio, &QRadioButton::toggled, this, [this] { EnableExportItems(); });
            w = radio;
        }
        w->setObjectName(QString("item%1").arg(extra.id));
        QRect r = DluToPixels(extra.dlu, base);
        // A check box's caption is as wide as its text needs (the captions' fitting leaves it be).
        if (extra.id == export_id::kChaptersCheck) r.setWidth(std::max(r.width(), w->sizeHint().width()));
        w->setGeometry(r);
        w->show();
        items_.insert(extra.id, w);
        if (w->focusPolicy() != Qt::NoFocus) {
            setTabOrder(last, w);
            last = w;
        }
    }
    setTabOrder(last, Item(settings_id::kCancelButton));
    const std::string_view section = cut ? settings_keys::kCut : settings_keys::kJoin;
    ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(store_.ReadRow(section, settings_keys::kChapters) != 0);
    if (cut) {
        const int stored = store_.ReadRow(section, settings_keys::kExportMode);
        SetExportMode(stored >= 0 && stored <= static_cast<int>(ExportMode::MergeOutside)
                          ? static_cast<ExportMode>(stored)
                          : ExportMode::Separate);
    }
    EnableExportItems();
}

void OutputSettingsDialog::AddContainerItems() {
    const Ids& ids = IdsOf(kind_);
    const QSize base = DialogBaseUnits(font());
    // In the column of the lists' captions (cut 43, join 37 dialog units), the list where
    // theirs start.
    const bool cut = kind_ == Dialog::Cut;
    auto* list = new QComboBox(this);
    const QRect listRect = DluToPixels(QRect(cut ? 96 : 102, 0, 120, 12), base);
    const int row = Item(ids.indirect)->y();
    // Everything from the indirect radio down moves below the new row; a group around it grows.
    MakeRoomBelow(row, list->sizeHint().height() + DluToPixels(QRect(0, 0, 0, 3), base).height());
    auto* caption = new QLabel(QString::fromStdString(language_.ReadFromFile("JIEMIAN", "scrq")), this);
    const QRect captionPlace = DluToPixels(QRect(cut ? 43 : 37, 0, 50, 8), base);
    list->setGeometry(listRect.x(), row + 1, listRect.width(), list->sizeHint().height());
    caption->setGeometry(captionPlace.x(), row + 1 + (list->height() - captionPlace.height()) / 2, captionPlace.width(),
                         captionPlace.height());
    for (const DirectContainer& c : DirectContainers())
        list->addItem(c.extension.empty() ? QString::fromStdString(language_.ReadFromFile("JIEMIAN", "ywjyy"))
                                          : QString::fromUtf8(c.label.data(), static_cast<int>(c.label.size())));
    const int stored = store_.ReadRow(cut ? settings_keys::kCut : settings_keys::kJoin, settings_keys::kContainer);
    list->setCurrentIndex(stored >= 0 && stored < list->count() ? stored : 0);
    for (auto [id, w] : {std::pair<int, QWidget*>{export_id::kContainerCaption, caption},
                         std::pair<int, QWidget*>{export_id::kContainerList, list}}) {
        w->setObjectName(QString("item%1").arg(id));
        w->show();
        items_.insert(id, w);
    }
    caption->setBuddy(list);
    connect(list, &QComboBox::currentIndexChanged, this, &OutputSettingsDialog::UpdateNote);
    // In the tab order after the direct radio it serves.
    setTabOrder(Item(ids.direct), list);
    setTabOrder(list, Item(ids.indirect));
}

std::string OutputSettingsDialog::ContainerChoice() const {
    const int row = ItemAs<QComboBox>(export_id::kContainerList)->currentIndex();
    const std::span<const DirectContainer> all = DirectContainers();
    return row > 0 && static_cast<size_t>(row) < all.size() ? std::string(all[static_cast<size_t>(row)].extension)
                                                            : std::string();
}

void OutputSettingsDialog::OfferExport(int segments) {
    segments_ = segments;
    EnableExportItems();
}

void OutputSettingsDialog::EnableExportItems() {
    if (!modes_) return;  // the join dialog's chapters box is always open
    const bool offered = segments_ > 1;
    for (int id : {export_id::kCaption, export_id::kSeparateRadio, export_id::kMergeRadio, export_id::kOutsideRadio})
        Item(id)->setEnabled(offered);
    Item(export_id::kChaptersCheck)->setEnabled(offered && exportMode() != ExportMode::Separate);
}

void OutputSettingsDialog::SetExportMode(ExportMode mode) {
    if (!modes_) return;
    static constexpr int kRadios[] = {export_id::kSeparateRadio, export_id::kMergeRadio, export_id::kOutsideRadio};
    ItemAs<QRadioButton>(kRadios[static_cast<size_t>(mode)])->setChecked(true);
}

ExportMode OutputSettingsDialog::exportMode() const {
    if (!modes_) return ExportMode::Merge;
    switch (modes_->checkedId()) {
        case export_id::kMergeRadio:
            return ExportMode::Merge;
        case export_id::kOutsideRadio:
            return ExportMode::MergeOutside;
        default:
            return ExportMode::Separate;
    }
}

bool OutputSettingsDialog::chapters() const {
    return ItemAs<QCheckBox>(export_id::kChaptersCheck)->isChecked();
}

QComboBox* OutputSettingsDialog::List(int which) const {
    return ItemAs<QComboBox>(IdsOf(kind_).lists[which]);
}

void OutputSettingsDialog::SetDirect(bool direct) {
    const Ids& ids = IdsOf(kind_);
    ItemAs<QRadioButton>(ids.direct)->setChecked(direct);
    ItemAs<QRadioButton>(ids.indirect)->setChecked(!direct);
    ItemAs<QRadioButton>(ids.exact)->setChecked(false);
    for (int i = 0; i < 6; ++i) List(i)->setEnabled(!direct);
    if (ids.channel) Item(ids.channel)->setEnabled(!direct);
    for (int id : {export_id::kContainerCaption, export_id::kContainerList})
        if (QWidget* w = Item(id)) w->setEnabled(direct);
    if (Item(export_id::kContainerList)) UpdateNote();  // once the dialog has its container row
}

void OutputSettingsDialog::SetExact() {
    const Ids& ids = IdsOf(kind_);
    if (!Item(ids.exact)->isEnabled()) return;
    SetDirect(true);  // packets are copied: the lists rest
    ItemAs<QRadioButton>(ids.direct)->setChecked(false);
    ItemAs<QRadioButton>(ids.exact)->setChecked(true);
}

void OutputSettingsDialog::Browse() {
    for (;;) {
        const QString path = pickFolder_(this, "Please select output folder:");
        if (path.isEmpty()) return;
        if (!PathExists(path.toStdString())) {
            messages_.Show(this, windowTitle(), "The output folder name is invalid!", true);
            continue;
        }
        ItemAs<QLineEdit>(IdsOf(kind_).folder)->setText(path);
        store_.WriteOutputFolder(path.toStdString());
        return;
    }
}

void OutputSettingsDialog::ProposeFolder(const QString& folder) {
    auto* box = ItemAs<QLineEdit>(IdsOf(kind_).folder);
    if (box->text().isEmpty()) box->setText(folder);
}

void OutputSettingsDialog::Start() {
    const Ids& ids = IdsOf(kind_);
    const auto text = [&](const char* s, const char* k) {
        return QString::fromStdString(language_.ReadFromFile(s, k));
    };
    const QString typedName = ItemAs<QLineEdit>(ids.name)->text();
    // A name that cleans to nothing would write a hidden file such as ".mp4".
    const std::string name = CleanFileName(typedName.toStdString());
    if (name.empty()) {
        messages_.Show(this, windowTitle(), text("TISHI", "xsrwjm"), true);
        return;
    }
    const RowChoice rows{List(0)->currentIndex(), List(1)->currentIndex(), List(2)->currentIndex(),
                         List(3)->currentIndex(), List(4)->currentIndex(), List(5)->currentIndex()};
    store_.WriteRows(kind_, rows);  // kept even when the folder test fails below
    const std::string_view section = kind_ == Dialog::Cut ? settings_keys::kCut : settings_keys::kJoin;
    store_.WriteRow(section, settings_keys::kChapters, chapters() ? 1 : 0);
    const bool exact = ItemAs<QRadioButton>(ids.exact)->isChecked();
    store_.WriteRow(section, clips_ ? settings_keys::kClipMethod : settings_keys::kMethod,
                    exact                                           ? 1
                    : ItemAs<QRadioButton>(ids.direct)->isChecked() ? 2
                                                                    : 3);
    if (modes_) store_.WriteRow(section, settings_keys::kExportMode, static_cast<int>(exportMode()));
    const std::string container = ContainerChoice();
    store_.WriteRow(section, settings_keys::kContainer, DirectContainerRow(container));
    const QString folder = ItemAs<QLineEdit>(ids.folder)->text();
    const std::string test = TestOutputFolder(folder.toStdString());
    if (test == "missing") {
        messages_.Show(this, windowTitle(), text("TISHI", "mlbcz"), true);
        return;
    }
    if (!test.empty()) {
        messages_.Show(this, windowTitle(), text("TISHI", "mlbkx"), true);
        return;
    }
    // The extension is the chosen format's, or a direct job's chosen container's, or its
    // source's, which this dialog does not know: room for a usual one.
    const bool direct = Copies();
    // A container that cannot hold a source gives way to the source's own, as the note says.
    const std::string copyInto = ContainerRefusal(container).isEmpty() ? container : std::string();
    const std::optional<ResolvedPreset> preset = ResolveRows(kind_, rows);
    const std::string extension = !direct && preset             ? preset->extension
                                  : direct && !copyInto.empty() ? "." + copyInto
                                                                : std::string(kDirectExtensionRoom, 'x');
    if (!NameFitsFolder(folder.toStdString(), NameWithoutExtension(name, extension), extension)) {
        messages_.Show(this, windowTitle(), text("TISHI", "wjmtc"), true);
        return;
    }
    // A typed or proposed folder that passed the test is the one offered next time.
    if (folder.toStdString() != store_.OutputFolder()) store_.WriteOutputFolder(folder.toStdString());
    choice_.exact = exact;
    choice_.direct = direct;
    choice_.rows = rows;
    choice_.container = direct ? copyInto : std::string();
    choice_.folder = folder.toStdString();
    choice_.name = name;
    done(QDialog::Accepted);
}

void OutputSettingsDialog::mousePressEvent(QMouseEvent* e) {
    if (windowHandle()) windowHandle()->startSystemMove();
    QDialog::mousePressEvent(e);
}

}  // namespace ulvane
