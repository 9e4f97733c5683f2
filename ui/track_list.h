// TrackList: the cut tab's list of the loaded file's tracks, where the user chooses which of
// them the files made from it keep. A row a track (a tick to keep it, its kind and number,
// codec, picture size or channels, language, whether the file marks it its default, title),
// and two choices: the default sound track and the default subtitle track (or none). It
// yields the track list a job takes ("v:0,a:1*,s:0*"; "" when every track is kept as the
// file has it).
#pragma once

#include <QWidget>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/track_choice.h"

class QComboBox;
class QLayout;
class QLabel;
class QTableWidget;

namespace ulvane {

class LanguageTable;

class TrackList : public QWidget {
    Q_OBJECT

public:
    explicit TrackList(QWidget* parent = nullptr);

    // Every text, in the active language (section TRACKS of its file).
    void ApplyTexts(const LanguageTable& table);
    // The keys of section TRACKS the list and the window's track messages read.
    static std::span<const std::string_view> TextKeys();

    // A newly loaded file's tracks, chosen as `choice` says (a list Choice gave for this
    // file before; "" keeps every track with the file's own defaults). No tracks: an empty list.
    void ShowTracks(std::vector<FileTrack> tracks, const std::string& choice);
    // The list for a job: the ticked tracks, the chosen default sound and subtitle track
    // starred; "" when every track is ticked and the defaults are the file's own.
    std::string Choice() const;
    // Whether a picture or sound track is ticked (true too when no file is shown).
    bool KeepsPictureOrSound() const;

    // The height that shows the header and every track's row whole at `width`, with a
    // scroll bar's room where the columns need more than the list's width.
    int HeightFor(int width) const;

    // The list and its choices in reading order.
    std::vector<QWidget*> TabOrder() const;
    QTableWidget* table() const { return table_; }
    QComboBox* soundBox() const { return sound_; }
    QComboBox* subtitleBox() const { return subtitle_; }

    enum Column { kKeep, kTrack, kCodec, kShape, kLanguage, kDefault, kTitle, kColumns };

signals:
    // The user ticked or unticked a track or chose another default.
    void changed();

private:
    void Show();                       // the rows for tracks_ and kept_
    void FillDefaultBoxes();           // the two choices for the ticked tracks
    QString Name(size_t track) const;  // "Sound 2"
    // The file's own default sound and subtitle track ("" none).
    std::string FileDefault(char kind) const;
    void OnTicked(int row, int column);

    std::vector<FileTrack> tracks_;
    std::vector<bool> kept_;
    std::string defaultSound_, defaultSubtitle_;  // the chosen ids ("" none)
    bool showing_ = false;                        // the rows are being written, not ticked by the user
    QString kinds_[4], channels_, yes_, none_;    // texts for the rows
    const LanguageTable* texts_ = nullptr;        // the active language's, for formats' names
    QTableWidget* table_;
    QLabel *soundLabel_, *subtitleLabel_;
    QComboBox *sound_, *subtitle_;
    QLayout* choices_;
    int titleWidth_ = 0;  // what the title column's heading and texts need
};

}  // namespace ulvane
