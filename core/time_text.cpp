// Time text conversions.
#include "core/time_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace ulvane {

std::string FormatTime(int32_t ms) {
    const int64_t t = std::max<int32_t>(ms, 0);
    const int64_t h = t / 3600000;
    const int64_t s = t / 1000 - h * 3600;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(h),
                  static_cast<long long>(s / 60), static_cast<long long>(s % 60), static_cast<long long>(t % 1000));
    return buf;
}

namespace {

// A decimal number as the C library reads it: blanks, an optional sign, digits up to
// the first other character; 0 without digits. Saturates far beyond any real time.
int64_t ReadNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
    return negative ? -value : value;
}

}  // namespace

int32_t ParseTime(std::string_view text) {
    const size_t firstColon = text.find(':');
    const size_t lastColon = text.rfind(':');
    const size_t firstDot = text.find('.');
    int64_t hours = 0, minutes = 0;
    if (firstColon != std::string_view::npos) {
        hours = ReadNumber(text.substr(0, firstColon));
        minutes = ReadNumber(text.substr(firstColon + 1));
    }
    const int64_t seconds = ReadNumber(lastColon == std::string_view::npos ? text : text.substr(lastColon + 1));
    const int64_t millis = ReadNumber(firstDot == std::string_view::npos ? text : text.substr(firstDot + 1));
    const int64_t total = ((hours * 3600 + minutes * 60 + seconds) * 1000) + millis;
    return static_cast<int32_t>(std::clamp<int64_t>(total, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace ulvane
