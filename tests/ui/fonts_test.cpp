// Every text of every language shows in the fonts the window uses: no character is drawn
// as the empty box of a missing glyph.
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSet>

#include "core/ini_file.h"
#include "core/language_table.h"
#include "tests/ui/window_harness.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

QImage Draw(const QFont& font, char32_t c) {
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 48, 48), Qt::AlignCenter, QString::fromUcs4(&c, 1));
    return image;
}

}  // namespace

TEST(Fonts, EveryLanguagesTextsHaveGlyphsInTheWindowsFonts) {
    Harness h;  // the window sets the font its controls use
    const QFont font = h.window->font();
    // A character no font has: drawn as the missing-glyph box.
    const QImage missing = Draw(font, U'\U000F0000');
    const fs::path languages = fs::path(ULVANE_SOURCE_DIR) / "resources" / "languages";
    for (std::string_view file : kLanguageFiles) {
        SCOPED_TRACE(std::string(file));
        QSet<char32_t> chars;
        for (auto keys : {MainWindowKeys(), ProgressDialogKeys(), CutDialogKeys(), JoinDialogKeys(), LaunchKeys()})
            for (const LanguageKey& k : keys) {
                const std::string text = ini::ReadString((languages / file).string(), k.section, k.key, "");
                for (char32_t c : QString::fromStdString(text).toUcs4())
                    if (c > 0x7F && !QChar::isSpace(c)) chars.insert(c);
            }
        int lacking = 0;
        QString examples;
        for (char32_t c : chars) {
            if (Draw(font, c) != missing) continue;
            if (++lacking <= 5) examples += QString::fromUcs4(&c, 1) + " ";
        }
        EXPECT_EQ(lacking, 0) << "no glyph for " << examples.toStdString();
        if (file == "japanese.ini") {
            EXPECT_GT(chars.size(), 100) << "the Japanese texts were read";
        }
    }
}
