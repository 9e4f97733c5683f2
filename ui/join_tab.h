// JoinTab: the join tab's list of files and clips in the order they are joined, each row with
// its tick, its facts and its status; the join of the ticked rows, and "Apply to all" (the
// cut tab's marks or segments and the cut settings on every ticked file, a queued job each).
// Its jobs go through the JobLauncher. All on the window's thread.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "core/job_monitor.h"
#include "core/launch.h"
#include "core/segments.h"
#include "engine/conversion_job.h"

namespace ulvane {

class CCheckListCtrl;
class CutTab;
class JobLauncher;
struct WindowContext;

class JoinTab : public QObject {
    Q_OBJECT

public:
    JoinTab(const WindowContext& context, CutTab* cut, JobLauncher* launcher, QObject* parent);

    // A row for the whole file at `path`, which the probe described as `info`.
    void AddRow(const QString& path, const MediaInfo& info);
    // The segments of `path` as clip rows, in their order; refused whole when one cannot be had.
    void AddJoinClips(const QString& path, const std::vector<Segment>& segments);
    // The whole path of the file in a row ("" for no row).
    QString RowPath(int row) const;
    void RemoveSelectedSource();
    // Ctrl+Up / Ctrl+Down: the selected row one place up (-1) or down (+1).
    void MoveSelectedSource(int step);
    // A row's status, in the active language, and its tick as the status wants it.
    void ShowRowStatus(int row, RowStatus status);
    void ApplyTexts();
    // Every heading and text shows whole, the name column takes the rest of the list's width.
    void FitColumns();
    // How much wider than `listWidth` the list must be for its columns (0: none).
    int ExtraWidth(int listWidth) const;

    // The merge button: the ticked rows joined, as the join settings say (join_tab_jobs.cpp).
    void LaunchJoin();
    void ApplyToAll();
    // The rows the window's last join started with.
    const std::vector<int>& joinRows() const { return joinRows_; }

private:
    // The list's headings (on two lines where one would not fit `room`) and the narrowest
    // widths of its columns that show them and every text whole.
    struct Columns {
        QString titles[6];
        int widths[6] = {};
        int total = 0;
    };
    Columns NarrowestColumns(int room) const;
    // The list's width for its columns: inside its frame, beside its scroll bar.
    int ListRoom() const;
    // A row's file as the job monitor names it: a clip row's with the clip's times.
    std::string RowPathText(int row) const;
    void SetRowStatusText(int row, RowStatus status);
    QString RowStatusText(RowStatus status) const;
    std::vector<JoinFile> JoinFilesOfRows(const std::vector<int>& rows) const;
    // A direct join starts each clip at the key frame at or before its start: the clips that so
    // start earlier than marked are named, and the user says whether to join them so.
    bool AcceptClipStarts(const std::vector<JoinFile>& files, const std::vector<int>& rows) const;
    // The direct-join refusal: which file differs from the first, in what, and the offer to re-encode.
    QString UnlikeFilesText(const std::vector<JoinFile>& files, const JoinMismatch& m) const;

    const WindowContext& context_;
    CutTab* cut_;
    JobLauncher* launcher_;
    CCheckListCtrl* list_;
    std::vector<int> joinRows_;
};

}  // namespace ulvane
