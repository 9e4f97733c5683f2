// DetectDialog: finds silences, black pictures or scene changes in the loaded source on a
// thread of its own, lists them, and turns them into segments for the segment list.
#pragma once

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "core/segments.h"
#include "engine/detect.h"

class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace ulvane {

class LanguageTable;

enum class DetectKind { Silences, Black, Scenes };

class DetectDialog : public QDialog {
    Q_OBJECT

public:
    // `lengthMicros`: the source's duration, where the last segment ends. `make` receives the
    // segments the findings give when the user asks for them.
    DetectDialog(DetectKind kind, std::string path, int64_t lengthMicros, const LanguageTable& texts,
                 std::function<void(std::vector<Segment>)> make, QWidget* parent = nullptr);
    ~DetectDialog() override;

    // The segments the findings so far give, as chosen: of stretches (silences, black pictures)
    // the parts between them or the stretches themselves; of scene changes, from one to the next.
    std::vector<Segment> Proposed() const;
    const std::vector<Finding>& findings() const { return findings_; }
    bool running() const { return worker_.joinable(); }

    QDoubleSpinBox* thresholdBox() const { return threshold_; }
    QDoubleSpinBox* shortestBox() const { return shortest_; }
    QPushButton* findButton() const { return find_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* makeButton() const { return make_; }
    QRadioButton* betweenChoice() const { return between_; }
    QRadioButton* findingsChoice() const { return findingsChoice_; }
    // The line above Make segments saying how many segments it makes, and of what.
    QLabel* planLine() const { return plan_; }
    QListWidget* list() const { return list_; }

signals:
    // A run ended (found, failed or stopped) and its findings are listed.
    void finished();

private:
    void Start();
    void Stop();
    void Finish(std::vector<Finding> found, Status status);
    void Join();
    void ShowPlan();
    QString Text(const char* key) const;

    DetectKind kind_;
    std::string path_;
    int64_t lengthMicros_;
    const LanguageTable& texts_;
    std::function<void(std::vector<Segment>)> makeSegments_;
    std::vector<Finding> findings_;

    // Shared with the worker: only these atomics. Its findings come back in a queued call.
    std::atomic<bool> cancel_{false};
    std::atomic<int> permille_{0};
    std::thread worker_;
    QTimer progressTimer_;

    QDoubleSpinBox* threshold_;
    QDoubleSpinBox* shortest_;
    QLabel* status_;
    QProgressBar* progress_;
    QListWidget* list_;
    QRadioButton *between_, *findingsChoice_;
    QLabel* plan_;
    QPushButton *find_, *stop_, *make_, *close_;
};

}  // namespace ulvane
