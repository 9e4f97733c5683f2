// The window's layout: its template's size is the smallest, it grows with the preview and
// the list, and every text fits its control in every language.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <optional>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "core/language_table.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"
#include "ui/progress_dialog.h"
#include "ui/segment_list.h"
#include "ui/settings_dialog.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// Distances of a control to the window's right and bottom edges.
QSize ToFarEdges(const QWidget* w) {
    const QWidget* window = w->window();
    return {window->width() - w->geometry().right(), window->height() - w->geometry().bottom()};
}

}  // namespace

TEST(Layout, TheWindowGrowsFromItsTemplateSizeAndThePreviewKeepsThePicturesShape) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    const QSize templateSize = DluToPixels(QRect(0, 0, 363, 262), DialogBaseUnits(w.font())).size();
    // The template's size, taller by the segment list's strip under the cut controls, and wider
    // where another language's texts need it.
    const QSize base = w.size();
    EXPECT_GT(base.height(), templateSize.height() + w.cutTab()->segmentList()->height());
    EXPECT_GE(base.width(), templateSize.width());
    EXPECT_EQ(w.minimumSize(), base);
    EXPECT_GT(w.maximumWidth(), 4000);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    h.Add({Colours()});  // 4:3, red first
    auto* preview = w.ItemAs<PreviewFrame>(kPreview);
    // At the template's size the picture is grabbed for the preview as it is shown.
    EXPECT_EQ(preview->picture().size(), preview->pictureRect().size());
    EXPECT_EQ(preview->pictureRect().height(), preview->contentsRect().height());

    std::map<int, QRect> before;
    for (int id : {kPreview, kSeekBar, kConvertButton, kStartBox, kHelpLink, kTabs, kPositionText, kLengthText})
        before[id] = w.Item(id)->geometry();
    const QSize convertGap = ToFarEdges(w.Item(kConvertButton)), helpGap = ToFarEdges(w.Item(kHelpLink));
    const int startBoxFromBottom = ToFarEdges(w.Item(kStartBox)).height();
    const QSize more(420, 330);
    w.resize(base + more);
    QApplication::processEvents();

    EXPECT_EQ(w.Item(kPreview)->size(), before[kPreview].size() + more);
    EXPECT_EQ(w.Item(kSeekBar)->width(), before[kSeekBar].width() + more.width());
    EXPECT_EQ(w.Item(kSeekBar)->y(), before[kSeekBar].y() + more.height());
    EXPECT_EQ(ToFarEdges(w.Item(kConvertButton)), convertGap) << "bottom right stays bottom right";
    EXPECT_EQ(ToFarEdges(w.Item(kHelpLink)).width(), helpGap.width()) << "the help link stays at the right";
    EXPECT_EQ(w.Item(kHelpLink)->y(), before[kHelpLink].y());
    EXPECT_EQ(w.Item(kStartBox)->x(), before[kStartBox].x()) << "the start box stays at the left";
    EXPECT_EQ(ToFarEdges(w.Item(kStartBox)).height(), startBoxFromBottom);
    EXPECT_EQ(w.Item(kTabs)->geometry(), before[kTabs]);

    // The picture is grabbed again at the new size: as large as fits, 4:3, black beside it.
    EXPECT_TRUE(Eventually([&] { return preview->picture().height() == preview->contentsRect().height(); }));
    const QRect shown = preview->pictureRect();
    EXPECT_EQ(preview->picture().size(), shown.size()) << "drawn at the size it was grabbed";
    EXPECT_NEAR(static_cast<double>(shown.width()) / shown.height(), 4.0 / 3.0, 0.01);
    const QImage screen = preview->grab().toImage();
    EXPECT_EQ(screen.pixelColor(preview->contentsRect().left() + 5, screen.height() / 2), QColor(Qt::black));
    const QColor middle = screen.pixelColor(shown.center());
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 60);

    // The seek bar still maps its whole length: a click near its right end seeks near the end.
    auto* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 6, bar->height() / 2));
    EXPECT_GT(bar->GetPosition(), 970);

    // Back to the template's size, everything is where the template puts it.
    w.resize(base);
    QApplication::processEvents();
    for (const auto& [id, rect] : before) EXPECT_EQ(w.Item(id)->geometry(), rect) << id;

    // In German the wider tabs push the language box past the middle; grown, it still stays
    // beside its caption.
    w.SelectLanguage(*LanguagePosition("german.ini"));
    QApplication::processEvents();
    const auto gap = [&] { return w.Item(kLanguageBox)->x() - w.Item(kLanguageCaption)->geometry().right(); };
    const int small = gap();
    w.resize(w.minimumSize() + more);
    QApplication::processEvents();
    EXPECT_EQ(gap(), small);
}

namespace {

// The text a control shows, and the room its own chrome takes besides the text.
struct Caption {
    QString text;
    int chrome = 0;
};
std::optional<Caption> CaptionOf(const QWidget* w) {
    if (const auto* r = qobject_cast<const QRadioButton*>(w)) return Caption{r->text(), 24};
    if (const auto* c = qobject_cast<const QCheckBox*>(w)) return Caption{c->text(), 24};
    if (const auto* b = qobject_cast<const QPushButton*>(w)) return Caption{b->text(), 12};
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->wordWrap() || l->text().isEmpty()) return std::nullopt;
        return Caption{l->text(), 2 * l->frameWidth()};
    }
    return std::nullopt;
}

// Every text of `dialog` that does not fit its control, or is drawn smaller than the
// dialog's own font, or lies outside the dialog; and tab bars that need scroll arrows.
QStringList Misfits(const QWidget& dialog) {
    QStringList misfits;
    const auto name = [](const QWidget* w) { return w->objectName() + " " + w->metaObject()->className(); };
    for (const QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&dialog) || w->parentWidget() != &dialog) continue;
        if (!dialog.rect().contains(w->geometry())) misfits << name(w) + " lies outside the window";
        if (const auto* tabs = qobject_cast<const QTabBar*>(w)) {
            const int need = tabs->sizeHint().width();  // every tab at its own width
            if (need > tabs->width())
                misfits << QString("%1: tabs need %2 px, have %3").arg(name(w)).arg(need).arg(tabs->width());
        }
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i) {
                const int need = QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)) + 28;
                if (need > box->width())
                    misfits << QString("%1 row \"%2\" needs %3 px, has %4")
                                   .arg(name(w), box->itemText(i))
                                   .arg(need)
                                   .arg(box->width());
            }
        const std::optional<Caption> c = CaptionOf(w);
        if (!c) continue;
        if (w->font().pointSizeF() < dialog.font().pointSizeF())
            misfits << QString("%1 \"%2\" is drawn at %3 pt").arg(name(w), c->text).arg(w->font().pointSizeF());
        const int need = QFontMetrics(w->font()).horizontalAdvance(QString(c->text).remove('&')) + c->chrome;
        if (need > w->width())
            misfits << QString("%1 \"%2\" needs %3 px, has %4").arg(name(w), c->text).arg(need).arg(w->width());
    }
    // Visible captions of one dialog do not cover one another.
    const QList<QWidget*> all = dialog.findChildren<QWidget*>();
    for (int i = 0; i < all.size(); ++i)
        for (int k = i + 1; k < all.size(); ++k) {
            const QWidget *a = all[i], *b = all[k];
            if (a->parentWidget() != &dialog || b->parentWidget() != &dialog) continue;
            if (!a->isVisibleTo(&dialog) || !b->isVisibleTo(&dialog) || (!CaptionOf(a) && !CaptionOf(b))) continue;
            if (qobject_cast<const QGroupBox*>(a) || qobject_cast<const QGroupBox*>(b)) continue;
            if (a->geometry().intersects(b->geometry()))
                misfits << name(a) + " overlaps " + name(b) +
                               QString(" %1,%2 %3x%4 / %5,%6 %7x%8")
                                   .arg(a->x())
                                   .arg(a->y())
                                   .arg(a->width())
                                   .arg(a->height())
                                   .arg(b->x())
                                   .arg(b->y())
                                   .arg(b->width())
                                   .arg(b->height());
        }
    return misfits;
}

}  // namespace

TEST(Layout, EveryTextFitsItsControlInEveryLanguage) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    w.SelectTab(1);
    h.Add({Av("w25.mp4", "25")});
    // The player's buttons stay in one row in every language, however much the window widens.
    const auto buttonGap = [&] { return w.Item(kEndPointButton)->x() - w.Item(kStartPointButton)->geometry().right(); };
    const int gap = buttonGap();
    EXPECT_LT(gap, w.Item(kEndPointButton)->width() / 2);
    for (int language = 0; language < 6; ++language) {
        w.SelectLanguage(language);
        SCOPED_TRACE(w.languageTable().Text("JIEMIAN", "yy"));
        EXPECT_EQ(buttonGap(), gap);
        // The note of where a direct cut starts, as long as it gets.
        w.ItemAs<QLabel>(kDirectStartNote)
            ->setText(QString::fromStdString(w.languageTable().Text("JIEMIAN", "zjqd")) + " 00:00:00.000");
        for (int tab : {0, 1}) {
            w.SelectTab(tab);
            QApplication::processEvents();
            EXPECT_EQ(Misfits(w).join("\n").toStdString(), "") << "main window, tab " << tab;
        }
        // The join list shows every heading and each row's file name whole, without scrolling
        // sideways: a heading of two words may take two lines, and the header is as high.
        const auto* list = w.ItemAs<CCheckListCtrl>(kSourceList);
        const QFontMetrics heading(list->horizontalHeader()->font());
        int total = 0;
        for (int c = 0; c < list->columnCount(); ++c) {
            const QStringList lines = list->horizontalHeaderItem(c)->text().split('\n');
            for (const QString& line : lines)
                EXPECT_LE(heading.horizontalAdvance(line) + 8, list->columnWidth(c)) << line.toStdString();
            EXPECT_GE(list->horizontalHeader()->height(), int(lines.size()) * heading.height());
            total += list->columnWidth(c);
        }
        EXPECT_LE(total, list->viewport()->width());
        EXPECT_EQ(list->item(0, 0)->text(), QString("w25.mp4"));
        EXPECT_LE(QFontMetrics(list->font()).horizontalAdvance("w25.mp4") + 30, list->columnWidth(0));
        CAVConvertDlg progress;
        progress.ApplyTexts(w.languageTable());
        EXPECT_EQ(Misfits(progress).join("\n").toStdString(), "") << "progress dialog";
        CFileInfomation cut(w.settings(), w.languageTable(), h.messages, nullptr, "name");
        EXPECT_EQ(Misfits(cut).join("\n").toStdString(), "") << "cut settings";
        CSettings join(w.settings(), w.languageTable(), h.messages, nullptr);
        EXPECT_EQ(Misfits(join).join("\n").toStdString(), "") << "join settings";
    }
}

TEST(Layout, TheWindowKeepsItsSizeThroughClipsSentToTheJoinListAndEveryLanguage) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    QApplication::processEvents();
    const QSize size = w.size();
    // As the program sets it up, once the window is built.
    w.cutTab()->SetSendToJoinList([&](const QString& source, const std::vector<Segment>& segments) {
        w.joinTab()->AddJoinClips(source, segments);
    });
    EXPECT_EQ(w.size(), size) << "the send button shown";
    h.Add({Av("a rather long file name for the join list's name column.mp4", "25")});
    WriteFileBytes(h.dir / "clips.csv", "0.5,1.5,first take\n1,1.9,second take\n");
    h.nextOpenPath = QString::fromStdString(h.dir / "clips.csv");
    w.cutTab()->LoadSegmentsFile();
    ASSERT_EQ(w.cutTab()->Segments().size(), size_t{2});
    w.cutTab()->segmentList()->sendAllAction()->trigger();
    QApplication::processEvents();
    EXPECT_EQ(w.ItemAs<CCheckListCtrl>(kSourceList)->rowCount(), 2);
    EXPECT_EQ(w.size(), size) << "sending clips to the join list";
    for (int language = 0; language < 6; ++language) {
        w.SelectLanguage(language);
        for (int tab : {1, 0}) {
            w.SelectTab(tab);
            QApplication::processEvents();
            EXPECT_EQ(w.size(), size) << w.languageTable().activeFile() << ", tab " << tab;
        }
    }
}
