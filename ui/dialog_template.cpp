// Template 102 and the builder.
#include "ui/dialog_template.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <cmath>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "ui/preview_frame.h"

namespace ulvane {

namespace {

constexpr TemplateItem kMainItems[] = {
    {1160, ItemKind::Tab, {6, 0, 91, 16}, true, ""},
    {1180, ItemKind::Link, {205, 4, 91, 8}, true, "怎样使用本软件"},
    {1278, ItemKind::Static, {256, 1, 29, 8}, false, "Language"},
    {1105, ItemKind::Combo, {308, 0, 48, 30}, false, ""},
    {1114, ItemKind::CheckList, {6, 15, 289, 189}, false, ""},
    {1139, ItemKind::PreviewFrame, {6, 16, 352, 164}, true, ""},
    {1000, ItemKind::BitmapButton, {146, 78, 63, 36}, true, "&Add"},
    {1255, ItemKind::BitmapButton, {300, 51, 56, 32}, false, "添加文件"},
    {1254, ItemKind::BitmapButton, {300, 87, 56, 33}, false, "Button5"},
    {1099, ItemKind::BitmapButton, {300, 122, 56, 35}, false, "Merge"},
    {1140, ItemKind::Slider, {6, 183, 322, 12}, true, ""},
    {1172, ItemKind::Group, {6, 195, 352, 31}, true, ""},
    {1183, ItemKind::BitmapButton, {94, 200, 34, 22}, true, "Open file"},
    {1188, ItemKind::BitmapButton, {130, 202, 24, 21}, true, "Play"},
    {1154, ItemKind::BitmapButton, {154, 202, 21, 21}, true, "Start Point"},
    {1149, ItemKind::BitmapButton, {177, 202, 23, 20}, true, "End Point"},
    {1184, ItemKind::Static, {234, 208, 112, 8}, true, "00:00:00:000 / 00:00:00:000"},
    {1018, ItemKind::Static, {6, 235, 39, 8}, true, "Start:"},
    {1023, ItemKind::Edit, {46, 231, 55, 14}, true, ""},
    {1019, ItemKind::Static, {105, 235, 37, 8}, true, "End:"},
    {1024, ItemKind::Edit, {145, 231, 54, 14}, true, ""},
    {1157, ItemKind::Static, {201, 235, 41, 8}, true, "Length:"},
    {1025, ItemKind::SunkenStatic, {243, 233, 53, 10}, true, "00:00:00.000"},
    {1004, ItemKind::BitmapButton, {306, 227, 52, 24}, true, "&Convert"},
};

constexpr DialogTemplate kMain{102, {363, 252}, 9, kMainItems};

}  // namespace

const DialogTemplate& MainDialogTemplate() { return kMain; }

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics m(font);
    static const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const int width = (m.horizontalAdvance(letters) / 26 + 1) / 2;
    return {std::max(width, 1), std::max(m.height(), 1)};
}

QRect DluToPixels(const QRect& dlu, const QSize& base) {
    auto mul = [](int v, int num, int den) { return static_cast<int>(std::lround(static_cast<double>(v) * num / den)); };
    const int left = mul(dlu.x(), base.width(), 4);
    const int top = mul(dlu.y(), base.height(), 8);
    const int right = mul(dlu.x() + dlu.width(), base.width(), 4);
    const int bottom = mul(dlu.y() + dlu.height(), base.height(), 8);
    return {left, top, right - left, bottom - top};
}

QMap<int, QWidget*> BuildDialog(const DialogTemplate& t, QWidget* parent) {
    const QSize base = DialogBaseUnits(parent->font());
    QMap<int, QWidget*> items;
    for (const TemplateItem& item : t.items) {
        QWidget* w = nullptr;
        const QString text = QString::fromUtf8(item.text);
        switch (item.kind) {
            case ItemKind::Tab: w = new QTabBar(parent); break;
            case ItemKind::Static: w = new QLabel(text, parent); break;
            case ItemKind::Link: w = new CHyperLink(item.id, parent); static_cast<QLabel*>(w)->setText(text); break;
            case ItemKind::Combo: w = new QComboBox(parent); break;
            case ItemKind::CheckList: w = new CCheckListCtrl(item.id, parent); break;
            case ItemKind::PreviewFrame: w = new PreviewFrame(parent); break;
            case ItemKind::BitmapButton: w = new CControlButton(item.id, parent); w->setAccessibleName(text); break;
            case ItemKind::Slider: w = new CBitmapSlider(item.id, parent); break;
            case ItemKind::Group: w = new QGroupBox(text, parent); break;
            case ItemKind::Edit: w = new QLineEdit(text, parent); break;
            case ItemKind::SunkenStatic: {
                auto* l = new QLabel(text, parent);
                l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                w = l;
                break;
            }
        }
        w->setObjectName(QString("item%1").arg(item.id));
        w->setGeometry(DluToPixels(item.dlu, base));
        w->setVisible(item.visible);
        items.insert(item.id, w);
    }
    parent->setFixedSize(DluToPixels(QRect(QPoint(0, 0), t.dlu), base).size());
    return items;
}

}  // namespace ulvane
