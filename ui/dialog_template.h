// Dialog templates kept as data: each item's id, kind, rectangle in dialog units and
// initial visibility, and one builder that creates the widgets. Dialog units follow the
// window font (a horizontal unit is a quarter of the average character width, a vertical
// one an eighth of the character height), so the layout scales with the font.
#pragma once

#include <QFont>
#include <QMap>
#include <QRect>
#include <QSize>
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
    ArrowButton  // a small button with an arrow; the caption "up" or "down" picks it
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

// Shrinks a caption's font (to no less than 7 points) until its text fits its width.
void FitTextToWidth(QWidget* w);

// Creates every item of `t` as a child of `parent`, placed and shown as the template
// says, and returns them by id.
QMap<int, QWidget*> BuildDialog(const DialogTemplate& t, QWidget* parent);

}  // namespace ulvane
