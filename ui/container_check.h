// Before a direct job copies its files into another container than their own: what that
// container cannot take is told first. A main track it cannot hold stops the job with a
// message naming it; tracks it converts or leaves out are listed in a question.
#pragma once

#include <QString>
#include <string>

#include "engine/conversion_job.h"

class QWidget;

namespace ulvane {

class LanguageTable;
struct MessageSink;

// Whether the filled `job` may start: true for a re-encoding, for inputs that go into a
// container of their own type, and for copies whose track changes (if any) the user accepts.
// Each input is judged with the tracks it keeps (`keepTracks[i]`, "" all).
// A track's format as users know it: subtitle formats by name ("SRT text", "MP4 text",
// "DVD pictures"), in the active language; other codecs by FFmpeg's name ("aac").
QString FormatText(const std::string& codec, const LanguageTable& table);

bool ContainerChangeAccepted(QWidget* parent, const QString& title, const ConversionJob& job,
                             const LanguageTable& table, MessageSink& messages);

}  // namespace ulvane
