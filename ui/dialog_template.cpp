// Template 102 and the builder.
#include "ui/dialog_template.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSlider>
#include <QTabBar>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "controls/label.h"
#include "ui/preview_frame.h"

namespace ulvane {

namespace {

constexpr TemplateItem kMainItems[] = {
    {1160, ItemKind::Tab, {6, 0, 91, 16}, true, ""},
    {1180, ItemKind::Link, {205, 4, 91, 8}, true, "怎样使用本软件"},
    // The language box sits between the tabs and the help link, in sight: a user switches
    // language from the window.
    {1278, ItemKind::Static, {102, 3, 40, 8}, true, "Language"},
    {1105, ItemKind::Combo, {144, 1, 56, 30}, true, ""},
    {1114, ItemKind::CheckList, {6, 15, 289, 189}, false, ""},
    {1139, ItemKind::PreviewFrame, {6, 16, 352, 164}, true, ""},
    {1000, ItemKind::BitmapButton, {146, 78, 63, 36}, true, "&Add"},
    {1255, ItemKind::BitmapButton, {300, 51, 56, 32}, false, "添加文件"},
    {1254, ItemKind::BitmapButton, {300, 87, 56, 33}, false, "Button5"},
    {1099, ItemKind::BitmapButton, {300, 122, 56, 35}, false, "Merge"},
    // The join order: the selected row up or down (as Ctrl+Up and Ctrl+Down, and dragging).
    {1290, ItemKind::ArrowButton, {300, 162, 27, 16}, false, "up"},
    {1291, ItemKind::ArrowButton, {329, 162, 27, 16}, false, "down"},
    // The cut settings on every ticked file, each to its own output, through the queue.
    {1316, ItemKind::PushButton, {300, 182, 56, 18}, false, "Apply to all"},
    // The job queue, shown beside the window or hidden.
    {1315, ItemKind::ToggleButton, {344, 1, 14, 13}, true, ""},
    {1140, ItemKind::Slider, {6, 183, 322, 12}, true, ""},
    {1172, ItemKind::Group, {6, 195, 352, 31}, true, ""},
    {1183, ItemKind::BitmapButton, {94, 200, 34, 22}, true, "Open file"},
    {1188, ItemKind::BitmapButton, {130, 202, 24, 21}, true, "Play"},
    {1154, ItemKind::BitmapButton, {154, 202, 21, 21}, true, "Start Point"},
    {1149, ItemKind::BitmapButton, {177, 202, 23, 20}, true, "End Point"},
    {1184, ItemKind::Static, {234, 202, 112, 8}, true, "00:00:00:000 / 00:00:00:000"},
    // Playback's sound: mute and volume, the sound track (when there are several), and
    // whether segment playback loops.
    {1310, ItemKind::ToggleButton, {9, 199, 12, 12}, true, ""},
    {1311, ItemKind::LevelSlider, {22, 200, 28, 10}, true, ""},
    {1312, ItemKind::Combo, {52, 198, 40, 30}, false, ""},
    {1313, ItemKind::Check, {9, 213, 83, 10}, true, "Loop"},
    // The output's turn, beside the mark buttons.
    {1314, ItemKind::ToggleButton, {204, 199, 14, 12}, true, ""},
    // Where a direct cut of the marked segment really starts: the key frame at or before it.
    {1301, ItemKind::Static, {204, 212, 142, 8}, true, ""},
    {1018, ItemKind::Static, {6, 235, 39, 8}, true, "Start:"},
    {1023, ItemKind::Edit, {46, 231, 55, 14}, true, ""},
    {1019, ItemKind::Static, {105, 235, 37, 8}, true, "End:"},
    {1024, ItemKind::Edit, {145, 231, 54, 14}, true, ""},
    {1157, ItemKind::Static, {201, 235, 41, 8}, true, "Length:"},
    {1025, ItemKind::SunkenStatic, {243, 233, 53, 10}, true, "00:00:00.000"},
    {1004, ItemKind::BitmapButton, {306, 227, 52, 24}, true, "&Convert"},
    // The status line: what the loaded file holds, and how long it is.
    {1302, ItemKind::Static, {6, 252, 330, 9}, true, ""},
};

constexpr DialogTemplate kMain{102, {363, 262}, 9, kMainItems};

// Items of the right half that belong with the items on their left, as the template's
// dialog (first) and item ids: when the dialog widens for longer captions they stay, where
// the right half's items keep to the right edge. The end-point button is the last of the
// cut buttons.
constexpr std::pair<int, int> kKeptLeft[] = {{102, 1149}};
constexpr const char* kKeptLeftProperty = "ulvaneKeptLeft";

constexpr TemplateItem kProgressItems[] = {
    {1158, ItemKind::Static, {19, 5, 44, 8}, true, ""},        {1018, ItemKind::Label, {66, 5, 254, 8}, true, ""},
    {1011, ItemKind::Progress, {20, 17, 282, 14}, true, ""},   {1159, ItemKind::Static, {20, 36, 46, 8}, true, ""},
    {1019, ItemKind::Label, {66, 36, 252, 8}, true, ""},       {1012, ItemKind::Progress, {21, 47, 281, 14}, true, ""},
    {1000, ItemKind::PushButton, {253, 65, 50, 19}, true, ""},
};
constexpr DialogTemplate kProgress{129, {324, 89}, 9, kProgressItems};

// Group boxes have no id of their own in the templates; they take 1..2 here.
constexpr TemplateItem kCutItems[] = {
    {-1, ItemKind::Group, {2, 0, 353, 135}, true, ""},
    {-2, ItemKind::Group, {1, 135, 353, 44}, true, ""},
    {1259, ItemKind::Static, {9, 7, 54, 8}, true, ""},
    // The exact direct cut, first: the way to cut a user wants most.
    {1300, ItemKind::Radio, {20, 15, 328, 10}, true, ""},
    {1189, ItemKind::Radio, {20, 26, 328, 10}, true, ""},
    {1007, ItemKind::Radio, {20, 37, 327, 10}, true, ""},
    {1260, ItemKind::Static, {43, 50, 51, 8}, true, ""},
    {1105, ItemKind::Combo, {96, 48, 226, 30}, true, ""},
    {1261, ItemKind::Static, {43, 67, 49, 8}, true, ""},
    {1190, ItemKind::Combo, {96, 65, 74, 30}, true, ""},
    {1262, ItemKind::Static, {196, 67, 48, 8}, true, ""},
    {1191, ItemKind::Combo, {246, 65, 75, 30}, true, ""},
    {1263, ItemKind::Static, {43, 87, 47, 8}, true, ""},
    {1065, ItemKind::Combo, {96, 84, 74, 30}, true, ""},
    {1264, ItemKind::Static, {43, 107, 47, 8}, true, ""},
    {1192, ItemKind::Combo, {95, 104, 75, 30}, true, ""},
    {1265, ItemKind::Static, {197, 106, 46, 8}, true, ""},
    {1197, ItemKind::Combo, {245, 103, 76, 30}, true, ""},
    {1193, ItemKind::Static, {19, 122, 300, 8}, true, ""},
    {1266, ItemKind::Static, {13, 145, 43, 8}, true, ""},
    {1003, ItemKind::ReadOnlyEdit, {57, 143, 226, 14}, true, ""},
    {1076, ItemKind::PushButton, {291, 142, 50, 16}, true, ""},
    {1267, ItemKind::Static, {14, 166, 41, 8}, true, ""},
    {1075, ItemKind::Edit, {57, 162, 283, 14}, true, ""},
    {2, ItemKind::PushButton, {229, 180, 55, 22}, true, ""},
    {1194, ItemKind::PushButton, {287, 180, 55, 22}, true, ""},
};
constexpr DialogTemplate kCut{165, {356, 206}, 9, kCutItems};

constexpr TemplateItem kJoinItems[] = {
    {-1, ItemKind::Group, {3, 0, 349, 139}, true, ""},
    {-2, ItemKind::Group, {4, 140, 347, 44}, true, ""},
    {1268, ItemKind::Static, {7, 7, 76, 8}, true, ""},
    // The exact direct join, open when clips are joined: each starts on its very picture.
    {1301, ItemKind::Radio, {15, 15, 335, 10}, true, ""},
    {1256, ItemKind::Radio, {15, 26, 335, 10}, true, ""},
    {1007, ItemKind::Radio, {15, 37, 334, 10}, true, ""},
    {1269, ItemKind::Static, {37, 49, 57, 8}, true, ""},
    {1105, ItemKind::Combo, {102, 47, 219, 30}, true, ""},
    {1270, ItemKind::Static, {37, 68, 61, 8}, true, ""},
    {1066, ItemKind::Combo, {102, 65, 73, 58}, true, ""},
    {1271, ItemKind::Static, {193, 68, 48, 8}, true, ""},
    {1063, ItemKind::Combo, {245, 65, 76, 76}, true, ""},
    {1272, ItemKind::Static, {38, 87, 60, 8}, true, ""},
    {1065, ItemKind::Combo, {102, 84, 73, 60}, true, ""},
    {1273, ItemKind::Static, {38, 107, 60, 8}, true, ""},
    {1070, ItemKind::Combo, {101, 105, 73, 62}, true, ""},
    {1274, ItemKind::Static, {193, 106, 47, 8}, true, ""},
    {1067, ItemKind::Combo, {245, 104, 77, 50}, true, ""},
    {1068, ItemKind::Combo, {191, 190, 38, 69}, false, ""},
    {1275, ItemKind::Static, {13, 128, 313, 8}, true, ""},
    {1276, ItemKind::Static, {9, 151, 53, 8}, true, ""},
    {1003, ItemKind::ReadOnlyEdit, {65, 148, 222, 14}, true, ""},
    {1072, ItemKind::PushButton, {296, 146, 52, 16}, true, ""},
    {1277, ItemKind::Static, {10, 167, 50, 8}, true, ""},
    {1075, ItemKind::Edit, {65, 167, 282, 14}, true, ""},
    {2, ItemKind::PushButton, {236, 187, 56, 22}, true, ""},
    {1, ItemKind::PushButton, {295, 187, 56, 22}, true, ""},
};
constexpr DialogTemplate kJoin{167, {356, 213}, 9, kJoinItems};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    return kMain;
}
const DialogTemplate& ProgressDialogTemplate() {
    return kProgress;
}
const DialogTemplate& CutSettingsTemplate() {
    return kCut;
}
const DialogTemplate& JoinSettingsTemplate() {
    return kJoin;
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics m(font);
    static const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const int width = (m.horizontalAdvance(letters) / 26 + 1) / 2;
    return {std::max(width, 1), std::max(m.height(), 1)};
}

DialogLayout CurrentLayout(const QMap<int, QWidget*>& items, const QWidget* dialog) {
    DialogLayout l;
    for (auto it = items.cbegin(); it != items.cend(); ++it) l.rects.insert(it.key(), it.value()->geometry());
    l.size = dialog->size();
    return l;
}

int CaptionNeed(const QWidget* w) {
    const QFontMetrics m(w->font());
    const auto advance = [&](const QString& text) { return m.horizontalAdvance(QString(text).remove('&')); };
    if (const auto* tabs = qobject_cast<const QTabBar*>(w)) return tabs->count() ? tabs->sizeHint().width() : 0;
    if (const auto* box = qobject_cast<const QComboBox*>(w)) {
        // Wide enough for every row it offers, beside its arrow.
        int widest = 0;
        for (int i = 0; i < box->count(); ++i) widest = std::max(widest, advance(box->itemText(i)));
        return widest ? widest + 32 : 0;
    }
    if (const auto* r = qobject_cast<const QRadioButton*>(w))
        return r->text().isEmpty() ? 0 : std::max(r->sizeHint().width(), advance(r->text()) + 24);
    if (const auto* c = qobject_cast<const QCheckBox*>(w))
        return c->text().isEmpty() ? 0 : std::max(c->sizeHint().width(), advance(c->text()) + 24);
    if (const auto* b = qobject_cast<const QPushButton*>(w)) return b->text().isEmpty() ? 0 : advance(b->text()) + 12;
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return l->wordWrap() || l->text().isEmpty() ? 0 : advance(l->text()) + 2 * l->frameWidth() + 1;
    return 0;
}

QRect Anchored(QRect r, QSize baseSize, QSize grow) {
    return Anchored(r, baseSize, grow, r, baseSize);
}

QRect Anchored(QRect r, QSize baseSize, QSize grow, const QRect& side, QSize sideSize) {
    if (r.width() * 10 > baseSize.width() * 4)
        r.setWidth(r.width() + grow.width());
    else if (side.center().x() > sideSize.width() / 2)
        r.translate(grow.width(), 0);
    if (r.height() * 10 > baseSize.height() * 4)
        r.setHeight(r.height() + grow.height());
    else if (side.center().y() > sideSize.height() / 2)
        r.translate(0, grow.height());
    return r;
}

DialogLayout FitCaptions(const QMap<int, QWidget*>& items, const DialogLayout& base, const QList<QList<int>>& columns) {
    DialogLayout out = base;
    QMap<int, int> need;
    for (auto it = items.cbegin(); it != items.cend(); ++it) need.insert(it.key(), CaptionNeed(it.value()));
    for (const QList<int>& column : columns) {
        int widest = 0;
        for (int id : column) widest = std::max(widest, need.value(id));
        for (int id : column)
            if (need.contains(id)) need[id] = widest;
    }
    int right = 0;
    for (const QRect& r : base.rects) right = std::max(right, r.right());
    const int margin = std::max(4, base.size.width() - 1 - right);
    const auto sameRow = [](const QRect& a, const QRect& b) { return a.top() < b.bottom() && b.top() < a.bottom(); };
    const auto isGroup = [&](int id) { return qobject_cast<const QGroupBox*>(items[id]) != nullptr; };
    // Left to right, so that a caption moved by one before it is measured where it now is.
    QList<int> captions;
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        if (need[it.key()] > 0 && base.rects.contains(it.key())) captions << it.key();
    std::sort(captions.begin(), captions.end(), [&](int a, int b) { return base.rects[a].x() < base.rects[b].x(); });
    QSet<int> pushed;  // items that grew to the right or were pushed right: they leave the right edge be
    for (int id : captions) {
        QRect& c = out.rects[id];
        const int extra = need[id] - c.width();
        if (extra <= 0) continue;
        // A button in the right half grows to the left when nothing on its row is in the way.
        if (qobject_cast<const QPushButton*>(items[id]) && c.center().x() > base.size.width() / 2) {
            const QRect wanted = c.adjusted(-extra, 0, 0, 0);
            bool free = wanted.left() >= 0;
            for (auto it = out.rects.cbegin(); free && it != out.rects.cend(); ++it)
                free = it.key() == id || isGroup(it.key()) ||
                       !items[it.key()]->isVisibleTo(items[id]->parentWidget()) || !it.value().intersects(wanted);
            if (free) {
                c = wanted;
                continue;
            }
        }
        const int oldRight = c.right();
        c.setWidth(c.width() + extra);
        pushed << id;
        for (auto it = out.rects.begin(); it != out.rects.end(); ++it) {
            if (it.key() == id || isGroup(it.key())) continue;
            if (sameRow(it.value(), c) && it.value().left() >= oldRight - 2) {
                it.value().translate(extra, 0);
                pushed << it.key();
            }
        }
    }
    right = 0;
    for (const QRect& r : out.rects) right = std::max(right, r.right());
    const int grow = std::max(0, right + 1 + margin - base.size.width());
    if (grow == 0) return out;
    // Wider: the items nothing pushed follow the right edge as when the dialog is resized
    // (a wide one stretching only up to a pushed item on its row); the pushed ones stay
    // beside the captions that pushed them.
    for (auto it = out.rects.begin(); it != out.rects.end(); ++it) {
        const QWidget* w = items.value(it.key());
        if (pushed.contains(it.key()) || (w && w->property(kKeptLeftProperty).toBool())) continue;
        const QRect was = base.rects[it.key()];
        const QRect anchored = Anchored(was, base.size, {grow, 0});
        QRect& r = it.value();
        r.translate(anchored.left() - was.left(), 0);
        r.setWidth(r.width() + anchored.width() - was.width());
        for (int p : pushed) {
            const QRect& other = out.rects[p];
            if (sameRow(other, r) && other.left() > was.right())
                r.setRight(std::min(r.right(), other.left() - (base.rects[p].left() - was.right())));
        }
    }
    out.size = base.size + QSize(grow, 0);
    return out;
}

void ApplyLayout(const QMap<int, QWidget*>& items, const DialogLayout& layout) {
    for (auto it = layout.rects.cbegin(); it != layout.rects.cend(); ++it)
        if (QWidget* w = items.value(it.key())) w->setGeometry(it.value());
}

QRect DluToPixels(const QRect& dlu, const QSize& base) {
    auto mul = [](int v, int num, int den) {
        return static_cast<int>(std::lround(static_cast<double>(v) * num / den));
    };
    const int left = mul(dlu.x(), base.width(), 4);
    const int top = mul(dlu.y(), base.height(), 8);
    const int right = mul(dlu.x() + dlu.width(), base.width(), 4);
    const int bottom = mul(dlu.y() + dlu.height(), base.height(), 8);
    return {left, top, right - left, bottom - top};
}

namespace {

// The items whose setup takes more than their constructor.
QWidget* NewLink(const TemplateItem& item, const QString& text, QWidget* parent) {
    auto* link = new CHyperLink(item.id, parent);
    link->setText(text);
    return link;
}

QWidget* NewProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QWidget* NewPushButton(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);  // Enter never presses a button
    return b;
}

QWidget* NewReadOnlyEdit(const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text, parent);
    e->setReadOnly(true);
    return e;
}

QWidget* NewArrowButton(const QString& text, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(text == "up" ? Qt::UpArrow : Qt::DownArrow);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

QWidget* NewLevelSlider(QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, 100);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

QWidget* NewToggleButton(QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

QWidget* NewSunkenStatic(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

// The widget of one item, as its kind says, not yet placed.
QWidget* CreateItem(const TemplateItem& item, QWidget* parent) {
    const QString text = QString::fromUtf8(item.text);
    switch (item.kind) {
        case ItemKind::Tab:
            return new QTabBar(parent);
        case ItemKind::Static:
            return new QLabel(text, parent);
        case ItemKind::Link:
            return NewLink(item, text, parent);
        case ItemKind::Combo:
            return new QComboBox(parent);
        case ItemKind::CheckList:
            return new CCheckListCtrl(item.id, parent);
        case ItemKind::PreviewFrame:
            return new PreviewFrame(parent);
        case ItemKind::BitmapButton:
            // Its name for assistive tools is the window's hint, in the user's language, not
            // the template's caption.
            return new CControlButton(item.id, parent);
        case ItemKind::Slider:
            return new CBitmapSlider(item.id, parent);
        case ItemKind::Group:
            return new QGroupBox(text, parent);
        case ItemKind::Edit:
            return new QLineEdit(text, parent);
        case ItemKind::Label:
            return new CLabel(item.id, parent);
        case ItemKind::Progress:
            return NewProgressBar(parent);
        case ItemKind::PushButton:
            return NewPushButton(text, parent);
        case ItemKind::Radio:
            return new QRadioButton(text, parent);
        case ItemKind::ReadOnlyEdit:
            return NewReadOnlyEdit(text, parent);
        case ItemKind::ArrowButton:
            return NewArrowButton(text, parent);
        case ItemKind::Check:
            return new QCheckBox(text, parent);
        case ItemKind::LevelSlider:
            return NewLevelSlider(parent);
        case ItemKind::ToggleButton:
            return NewToggleButton(parent);
        case ItemKind::SunkenStatic:
            return NewSunkenStatic(text, parent);
    }
    return new QWidget(parent);  // not reached: every kind is listed
}

constexpr QLatin1StringView kItemNamePrefix("item");

}  // namespace

QMap<int, QWidget*> BuildDialog(const DialogTemplate& t, QWidget* parent) {
    const QSize base = DialogBaseUnits(parent->font());
    QMap<int, QWidget*> items;
    QLabel* caption = nullptr;  // the text just before, which names a field after it
    for (const TemplateItem& item : t.items) {
        QWidget* w = CreateItem(item, parent);
        w->setObjectName(kItemNamePrefix + QString::number(item.id));
        // A field is named by the text that comes before it in the template, as a screen
        // reader names it (by the label's text when asked, so in the language shown then).
        const bool field =
            item.kind == ItemKind::Edit || item.kind == ItemKind::ReadOnlyEdit || item.kind == ItemKind::Combo;
        if (field && caption) caption->setBuddy(w);
        caption = item.kind == ItemKind::Static ? static_cast<QLabel*>(w) : nullptr;
        QRect r = DluToPixels(item.dlu, base);
        // A drop-down list's template height includes its open list; closed it is one line.
        if (item.kind == ItemKind::Combo) r.setHeight(w->sizeHint().height());
        w->setGeometry(r);
        w->setVisible(item.visible);
        if (std::ranges::find(kKeptLeft, std::pair(t.id, item.id)) != std::end(kKeptLeft))
            w->setProperty(kKeptLeftProperty, true);
        items.insert(item.id, w);
    }
    parent->setFixedSize(DluToPixels(QRect(QPoint(0, 0), t.dlu), base).size());
    return items;
}

std::optional<int> TemplateItemId(const QWidget* w) {
    const QString name = w ? w->objectName() : QString();
    if (!name.startsWith(kItemNamePrefix)) return std::nullopt;
    bool ok = false;
    const int id = name.sliced(kItemNamePrefix.size()).toInt(&ok);
    return ok ? std::optional<int>(id) : std::nullopt;
}

}  // namespace ulvane
