// The settings a window test chooses for a job, and a job long enough to act on while it runs.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <functional>
#include <vector>

#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/settings_dialog.h"

namespace ulvane::test {

// Chooses rows, direct or indirect, folder and name, then presses start.
struct Choice {
    bool direct = true;
    bool exact = false;     // the cut dialog's exact direct cut
    std::vector<int> rows;  // format, quality, size, framerate, audioquality, samplerate (-2 keeps)
    QString folder, name = "out";
    bool keepName = false;
};

inline std::function<void(OutputSettingsDialog&)> Fill(const Choice& c) {
    return [c](OutputSettingsDialog& d) {
        d.SetDirect(c.direct);
        if (c.exact) d.SetExact();
        const bool cut = d.kind() == Dialog::Cut;
        using namespace settings_id;
        const int lists[2][6] = {
            {kFormatList, kCutQualityList, kCutSizeList, kFrameRateList, kCutAudioQualityList, kCutSampleRateList},
            {kFormatList, kJoinQualityList, kJoinSizeList, kFrameRateList, kJoinAudioQualityList, kJoinSampleRateList}};
        for (size_t i = 0; i < c.rows.size() && i < 6; ++i)
            if (c.rows[i] != -2) d.ItemAs<QComboBox>(lists[cut ? 0 : 1][i])->setCurrentIndex(c.rows[i]);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(c.folder);
        if (!c.keepName) d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText(c.name);
        d.Start();
    };
}

// A 30 s source, and settings that re-encode it into `out`: a job long enough to be stopped.
inline void LoadLongReEncodingCut(Harness& h, const TempDir& out) {
    const QString longer = QString::fromStdString(
        Fixture("j_long.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-t", "30", "-c:v", "libx264",
                               "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
    h.Add({longer});
    Choice c;
    c.direct = false;
    c.rows = {1, 8, 7, 13, 0, 0};
    c.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(c);
}

}  // namespace ulvane::test
