// Dialog templates kept as data: each item's id, kind, rectangle in dialog units and
// initial visibility, and one builder that creates the widgets. Dialog units follow the
// window font (a horizontal unit is a quarter of the average character width, a vertical
// one an eighth of the character height), so the layout scales with the font.
#pragma once

#include <QFont>
#include <QList>
#include <QMap>
#include <QRect>
#include <QSize>
#include <optional>
#include <span>

class QWidget;

namespace ulvane {

enum class ItemKind {
    Tab,
    Static,
    Link,
    Combo,
    CheckList,
    PreviewFrame,
    BitmapButton,
    Slider,
    Group,
    Edit,
    SunkenStatic,
    Label,
    Progress,
    PushButton,
    Radio,
    ReadOnlyEdit,
    ArrowButton,  // a small button with an arrow; the caption "up" or "down" picks it
    Check,
    LevelSlider,  // a plain horizontal slider (a volume)
    ToggleButton  // a small checkable button showing an icon
};

struct TemplateItem {
    int id;
    ItemKind kind;
    QRect dlu;  // x, y, width, height in dialog units
    bool visible;
    const char* text;  // the template's caption (UTF-8)
};

struct DialogTemplate {
    int id;
    QSize dlu;
    int pointSize;
    std::span<const TemplateItem> items;
};

// Template 102: the main window. 129: the progress dialog. 165 and 167: the cut and join
// settings.
const DialogTemplate& MainDialogTemplate();
const DialogTemplate& ProgressDialogTemplate();
const DialogTemplate& CutSettingsTemplate();
const DialogTemplate& JoinSettingsTemplate();

// The dialog base units of a font: average character width and character height, pixels.
QSize DialogBaseUnits(const QFont& font);
// A rectangle in dialog units in pixels, rounded as the desktop rounds it.
QRect DluToPixels(const QRect& dlu, const QSize& baseUnits);

// Where a dialog's items lie and how large the dialog is.
struct DialogLayout {
    QMap<int, QRect> rects;
    QSize size;
};
// The items' places and the dialog's size as they are now.
DialogLayout CurrentLayout(const QMap<int, QWidget*>& items, const QWidget* dialog);

// How wide a control must be to show its caption whole in its own font; 0 for controls
// without a caption (or whose caption wraps).
int CaptionNeed(const QWidget* w);

// `base` with every caption as wide as its text needs, in the dialog's own font (longer
// texts of other languages): the items after a widened caption on its row move right by
// as much, and when the row then passes the dialog's right margin the dialog widens, with
// its wide items and right-hand items (see Anchored), except those the template keeps with
// the items on their left.
// Each id of a group in `columns` (lists one above another) needs what the widest of its
// group needs, so that a column widens as one and what stands beside it stays in line.
DialogLayout FitCaptions(const QMap<int, QWidget*>& items, const DialogLayout& base,
                         const QList<QList<int>>& columns = {});

// An item's place in a dialog `grow` larger than `baseSize`: items wider (taller) than 40% of
// the dialog grow with it; others in its right (lower) half keep their distance to the right
// (bottom) edge; the rest stay. The half is judged by `side` in a dialog of `sideSize` (by
// default the item itself), so that an item a longer caption pushed past the middle still
// stays with the items it belongs beside.
QRect Anchored(QRect r, QSize baseSize, QSize grow);
QRect Anchored(QRect r, QSize baseSize, QSize grow, const QRect& side, QSize sideSize);

// Places the items as `layout` says.
void ApplyLayout(const QMap<int, QWidget*>& items, const DialogLayout& layout);

// Creates every item of `t` as a child of `parent`, placed and shown as the template
// says, and returns them by id.
QMap<int, QWidget*> BuildDialog(const DialogTemplate& t, QWidget* parent);
// The template id of a widget BuildDialog made; none for other widgets.
std::optional<int> TemplateItemId(const QWidget* w);

}  // namespace ulvane
