// The container check before a direct job.
#include "ui/container_check.h"

#include <QFileInfo>
#include <QStringList>

#include "core/language_table.h"
#include "engine/container_fit.h"
#include "ui/desktop.h"

namespace ulvane {

QString FormatText(const std::string& codec, const LanguageTable& table) {
    static const std::pair<const char*, const char*> kFormats[] = {
        {"subrip", "gssrt"},      {"srt", "gssrt"},    {"mov_text", "gsmp4"},     {"ass", "gsass"},
        {"ssa", "gsass"},         {"webvtt", "gsvtt"}, {"dvd_subtitle", "gsdvd"}, {"hdmv_pgs_subtitle", "gspgs"},
        {"dvb_subtitle", "gsdvb"}};
    for (const auto& [name, key] : kFormats)
        if (codec == name) return QString::fromStdString(table.ReadFromFile("TISHI", key));
    return QString::fromStdString(codec);
}

bool ContainerChangeAccepted(QWidget* parent, const QString& title, const ConversionJob& job,
                             const LanguageTable& table, MessageSink& messages) {
    if (job.reencode) return true;
    const auto text = [&](const char* key) { return QString::fromStdString(table.ReadFromFile("TISHI", key)); };
    QStringList changes;
    for (size_t i = 0; i < job.inputPaths.size(); ++i) {
        const size_t out = job.separateOutputs ? i : 0;
        if (out >= job.outputPaths.size()) break;
        const QString input = QString::fromStdString(job.inputPaths[i]);
        const QString extension = QFileInfo(QString::fromStdString(job.outputPaths[out])).suffix().toLower();
        if (QFileInfo(input).suffix().toLower() == extension) continue;
        const std::string tracks = i < job.keepTracks.size() ? job.keepTracks[i] : std::string();
        const ContainerFit fit = FitContainer(job.inputPaths[i], extension.toStdString(), tracks);
        const QString name = QFileInfo(input).fileName();
        // A file that cannot be read fails in the job itself, with the reader's own reason.
        if (!fit.opened) continue;
        if (!fit.writable) {
            messages.Show(parent, title, text("rqbx").arg(extension.toUpper()), true);
            return false;
        }
        if (!fit.refused.empty()) {
            // The track in the window's language: "vidéo (vp9)".
            const QString track =
                text(fit.refusedKind == 'v' ? "rqsp" : "rqyp").arg(QString::fromStdString(fit.refusedCodec));
            messages.Show(parent, title, text("rqjj").arg(name, extension.toUpper(), track), true);
            return false;
        }
        for (const TrackChange& c : fit.trackChanges) {
            const QString track = text(c.kind == 'a'   ? "rqyg"
                                       : c.kind == 's' ? "rqzm"
                                                       : "rqfj")
                                      .arg(c.number)
                                      .arg(FormatText(c.codec, table));
            const QString what =
                c.convertedTo.empty() ? text("rqsq") : text("rqzh").arg(FormatText(c.convertedTo, table));
            changes << name + ": " + track + ": " + what;
        }
    }
    if (changes.isEmpty()) return true;
    const QString extension = QFileInfo(QString::fromStdString(job.outputPaths.front())).suffix().toUpper();
    return messages.Ask(parent, title, text("rqbh").arg(extension) + "\n" + changes.join('\n') + "\n\n" + text("rqjx"));
}

}  // namespace ulvane
