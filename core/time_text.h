// Milliseconds to the time text HH:MM:SS.mmm and back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ulvane {

// "01:02:03.004" for 3723004. Hours take more digits from 100 on. Negative times are
// shown as 0.
std::string FormatTime(int32_t ms);

// Reads a time text leniently: hours before the first ":", minutes right after it,
// seconds after the last ":" (or from the start) up to ".", milliseconds after the first
// "." (or from the start). A part without digits counts 0, so "90" reads as 90 s + 90 ms.
// The result saturates at the int32 range instead of overflowing.
int32_t ParseTime(std::string_view text);

// Reads a time a user typed, strictly: "HH:MM:SS.fff", "H:MM:SS", "MM:SS" or "SS", each
// with an optional fraction of a second of any length ("2.5" is two and a half seconds).
// Minutes and seconds after a larger unit stay below 60; blanks around the text are
// allowed. Returns the time in microseconds (fractions finer than that are rounded), or
// nullopt for any other text.
std::optional<int64_t> ParseTypedTime(std::string_view text);

}  // namespace ulvane
