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
    return static_cast<int32_t>(
        std::clamp<int64_t>(total, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::optional<int64_t> ParseTypedTime(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    // The fraction: digits after the one ".", rounded to microseconds.
    int64_t fraction = 0;
    if (const size_t dot = text.find('.'); dot != std::string_view::npos) {
        const std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 18) return std::nullopt;
        int64_t scaled = 0;  // the first seven digits, in tenths of a microsecond
        for (size_t i = 0; i < digits.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(digits[i]))) return std::nullopt;
            if (i < 7) scaled = scaled * 10 + (digits[i] - '0');
        }
        for (size_t i = digits.size(); i < 7; ++i) scaled *= 10;
        fraction = (scaled + 5) / 10;
        text = text.substr(0, dot);
    }
    // One to three whole fields separated by ":", the last one the seconds.
    int64_t fields[3] = {};
    int count = 0;
    for (;;) {
        const size_t colon = text.find(':');
        const std::string_view field = text.substr(0, colon);
        if (field.empty() || field.size() > 9 || count == 3) return std::nullopt;
        int64_t value = 0;
        for (char c : field) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            value = value * 10 + (c - '0');
        }
        fields[count++] = value;
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    int64_t seconds = 0;
    for (int i = 0; i < count; ++i) {
        // Every field after the first is a count of minutes or seconds within the larger unit.
        if (i > 0 && fields[i] >= 60) return std::nullopt;
        seconds = seconds * 60 + fields[i];
    }
    return seconds * 1000000 + fraction;
}

}  // namespace ulvane
