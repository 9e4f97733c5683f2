// The track list: its rows, the two default choices and the list string they make.
#include "ui/track_list.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <algorithm>
#include <array>

#include "controls/focus_cue.h"
#include "core/language_table.h"
#include "ui/container_check.h"
#include "ui/main_window_text.h"

namespace ulvane {

namespace {

constexpr std::array<std::string_view, 19> kKeys = {"bl", "gd", "bm", "xq", "yy",   "mr",   "bt", "s",    "sp",  "yp",
                                                    "zm", "fj", "sd", "w",  "mryp", "mrzm", "ts", "bnbl", "lbmc"};

// The place of a kind in the row texts: v, a, s, t.
size_t KindPlace(char kind) {
    return kind == 'v' ? 0 : kind == 'a' ? 1 : kind == 's' ? 2 : 3;
}

// The number after the kind: "a:1" is 1.
int TrackNumber(const std::string& id) {
    return id.size() > 2 ? std::atoi(id.c_str() + 2) : 0;
}

}  // namespace

std::span<const std::string_view> TrackList::TextKeys() {
    return kKeys;
}

TrackList::TrackList(QWidget* parent) : QWidget(parent) {
    table_ = new FocusCueTable(0, kColumns, this);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setHighlightSections(false);
    QPalette p = table_->palette();
    p.setColor(QPalette::Base, QColor(241, 250, 233));  // as the other lists
    table_->setPalette(p);
    for (int c = 0; c < kColumns; ++c) table_->setHorizontalHeaderItem(c, new QTableWidgetItem());
    connect(table_, &QTableWidget::cellChanged, this, &TrackList::OnTicked);

    soundLabel_ = new QLabel(this);
    subtitleLabel_ = new QLabel(this);
    sound_ = new QComboBox(this);
    subtitle_ = new QComboBox(this);
    // A long track name elides in its box: the list keeps the width for its columns.
    for (QComboBox* box : {sound_, subtitle_}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(10);
    }
    soundLabel_->setBuddy(sound_);
    subtitleLabel_->setBuddy(subtitle_);
    const std::pair<QWidget*, const char*> names[] = {
        {table_, "trackTable"}, {sound_, "trackDefaultSound"}, {subtitle_, "trackDefaultSubtitle"}};
    for (const auto& [w, name] : names) w->setObjectName(name);
    connect(sound_, &QComboBox::currentIndexChanged, this, [this] {
        defaultSound_ = sound_->currentData().toString().toStdString();
        emit changed();
    });
    connect(subtitle_, &QComboBox::currentIndexChanged, this, [this] {
        defaultSubtitle_ = subtitle_->currentData().toString().toStdString();
        emit changed();
    });

    // The list on the left, the two choices in a column on the right.
    auto* choices = new QGridLayout;
    choices_ = choices;
    choices->setContentsMargins(0, 0, 0, 0);
    choices->addWidget(soundLabel_, 0, 0);
    choices->addWidget(sound_, 1, 0);
    choices->addWidget(subtitleLabel_, 2, 0);
    choices->addWidget(subtitle_, 3, 0);
    choices->setRowStretch(4, 1);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(table_, 1);
    row->addLayout(choices);
    Show();
}

int TrackList::HeightFor(int width) const {
    const int frames = 2 * table_->frameWidth();
    const int tableWidth = width - choices_->sizeHint().width() - layout()->spacing() - frames;
    int columns = 0;
    for (int c = 0; c < kColumns; ++c) columns += c == kTitle ? titleWidth_ : table_->columnWidth(c);
    const int scroll = columns > tableWidth ? table_->horizontalScrollBar()->sizeHint().height() : 0;
    return table_->horizontalHeader()->sizeHint().height() +
           table_->rowCount() * table_->verticalHeader()->defaultSectionSize() + frames + scroll;
}

void TrackList::ApplyTexts(const LanguageTable& table) {
    texts_ = &table;
    const auto text = [&](const char* key) { return ToQString(table.ReadFromFile("TRACKS", key)); };
    const char* headings[kColumns] = {"bl", "gd", "bm", "xq", "yy", "mr", "bt"};
    for (int c = 0; c < kColumns; ++c) table_->horizontalHeaderItem(c)->setText(text(headings[c]));
    const char* kinds[] = {"sp", "yp", "zm", "fj"};
    for (size_t k = 0; k < 4; ++k) kinds_[k] = text(kinds[k]);
    channels_ = text("sd");
    yes_ = text("s");
    none_ = text("w");
    soundLabel_->setText(text("mryp"));
    subtitleLabel_->setText(text("mrzm"));
    table_->setToolTip(text("ts"));
    table_->setAccessibleName(text("lbmc"));
    Show();
}

void TrackList::ShowTracks(std::vector<FileTrack> tracks, const std::string& choice) {
    tracks_ = std::move(tracks);
    kept_.assign(tracks_.size(), choice.empty());
    defaultSound_ = FileDefault('a');
    defaultSubtitle_ = FileDefault('s');
    if (!choice.empty()) {
        // The list Choice made: the ticked tracks, the starred ones (else the first sound) the defaults.
        defaultSound_.clear();
        defaultSubtitle_.clear();
        std::string firstSound;
        size_t at = 0;
        while (at < choice.size()) {
            size_t comma = choice.find(',', at);
            if (comma == std::string::npos) comma = choice.size();
            std::string id = choice.substr(at, comma - at);
            at = comma + 1;
            const bool starred = !id.empty() && id.back() == '*';
            if (starred) id.pop_back();
            for (size_t k = 0; k < tracks_.size(); ++k)
                if (tracks_[k].id == id) kept_[k] = true;
            if (id.rfind("a:", 0) == 0 && firstSound.empty()) firstSound = id;
            if (starred) (id[0] == 'a' ? defaultSound_ : defaultSubtitle_) = id;
        }
        if (defaultSound_.empty()) defaultSound_ = firstSound;
    }
    Show();
}

std::string TrackList::FileDefault(char kind) const {
    // The sound a player picks in the file: the one marked its default, else the first; the
    // subtitles it shows unasked: the ones marked, none when none is.
    std::string first;
    for (const FileTrack& t : tracks_) {
        if (t.id[0] != kind) continue;
        if (t.isDefault) return t.id;
        if (first.empty()) first = t.id;
    }
    return kind == 'a' ? first : "";
}

std::string TrackList::Choice() const {
    const bool everything = std::all_of(kept_.begin(), kept_.end(), [](bool k) { return k; });
    if (everything && defaultSound_ == FileDefault('a') && defaultSubtitle_ == FileDefault('s')) return "";
    std::string list;
    for (size_t k = 0; k < tracks_.size(); ++k) {
        if (!kept_[k]) continue;
        const std::string& id = tracks_[k].id;
        list += (list.empty() ? "" : ",") + id + (id == defaultSound_ || id == defaultSubtitle_ ? "*" : "");
    }
    return list;
}

bool TrackList::KeepsPictureOrSound() const {
    if (tracks_.empty()) return true;
    for (size_t k = 0; k < tracks_.size(); ++k)
        if (kept_[k] && (tracks_[k].id[0] == 'v' || tracks_[k].id[0] == 'a')) return true;
    return false;
}

std::vector<QWidget*> TrackList::TabOrder() const {
    return {table_, sound_, subtitle_};
}

QString TrackList::Name(size_t track) const {
    const std::string& id = tracks_[track].id;
    return QString(kinds_[KindPlace(id[0])]).arg(TrackNumber(id) + 1);
}

void TrackList::Show() {
    showing_ = true;
    table_->setRowCount(static_cast<int>(tracks_.size()));
    for (size_t k = 0; k < tracks_.size(); ++k) {
        const FileTrack& t = tracks_[k];
        const int r = static_cast<int>(k);
        QString shape;
        if (t.width > 0) shape = ToQString(std::to_string(t.width) + "x" + std::to_string(t.height));
        if (t.channels > 0) shape = QString(channels_).arg(t.channels);
        const QString cells[kColumns] = {QString(),
                                         Name(k),
                                         texts_ ? FormatText(t.codec, *texts_) : ToQString(t.codec),
                                         shape,
                                         ToQString(t.language),
                                         t.isDefault ? yes_ : QString(),
                                         ToQString(t.title)};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setFlags(c == kKeep ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::ItemIsEnabled);
            if (c == kKeep) item->setCheckState(kept_[k] ? Qt::Checked : Qt::Unchecked);
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
    titleWidth_ = table_->columnWidth(kTitle);
    // Fitting the columns sized the last one to its contents too; the title takes the rest again.
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Room for the header and three rows; wider files scroll.
    table_->setMinimumHeight(table_->horizontalHeader()->sizeHint().height() +
                             3 * table_->verticalHeader()->defaultSectionSize() + 2 * table_->frameWidth());
    setEnabled(!tracks_.empty());
    FillDefaultBoxes();
    showing_ = false;
}

void TrackList::FillDefaultBoxes() {
    // Only ticked tracks can be defaults; an unticked default gives way to the first ticked one.
    const QSignalBlocker quietSound(sound_), quietSubtitle(subtitle_);
    sound_->clear();
    subtitle_->clear();
    subtitle_->addItem(none_, QString());
    bool soundKept = false, subtitleKept = false;
    for (size_t k = 0; k < tracks_.size(); ++k) {
        const FileTrack& t = tracks_[k];
        if (!kept_[k] || (t.id[0] != 'a' && t.id[0] != 's')) continue;
        const QString text = Name(k) + (t.language.empty() ? QString() : " (" + ToQString(t.language) + ")");
        (t.id[0] == 'a' ? sound_ : subtitle_)->addItem(text, ToQString(t.id));
        soundKept = soundKept || t.id == defaultSound_;
        subtitleKept = subtitleKept || t.id == defaultSubtitle_;
    }
    if (!soundKept) defaultSound_ = sound_->count() > 0 ? sound_->itemData(0).toString().toStdString() : "";
    if (!subtitleKept) defaultSubtitle_.clear();
    sound_->setCurrentIndex(sound_->findData(ToQString(defaultSound_)));
    subtitle_->setCurrentIndex(subtitle_->findData(ToQString(defaultSubtitle_)));
    sound_->setEnabled(sound_->count() > 1);
    subtitle_->setEnabled(subtitle_->count() > 1);
}

void TrackList::OnTicked(int row, int column) {
    if (showing_ || column != kKeep || row < 0 || static_cast<size_t>(row) >= kept_.size()) return;
    const bool kept = table_->item(row, column)->checkState() == Qt::Checked;
    if (kept_[size_t(row)] == kept) return;
    kept_[size_t(row)] = kept;
    FillDefaultBoxes();
    emit changed();
}

}  // namespace ulvane
