// Text conversions shared by the main window's source files.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "core/time_text.h"

namespace ulvane {

inline QString ToQString(const std::string& s) {
    return QString::fromStdString(s);
}
// "HH:MM:SS.mmm" for a time in milliseconds, and the milliseconds of such a text.
inline QString TimeText(int32_t ms) {
    return ToQString(FormatTime(ms));
}
inline int32_t TimeFromText(const QString& text) {
    return ParseTime(text.toStdString());
}

}  // namespace ulvane
