// What the system voices are handed, decided without the voices: the text
// as a voice speaks it, long texts cut into parts, the order of a voice list
// (so that voice 1 is Brazilian Portuguese where one is installed) and the
// mapping of the configured speed and pitch onto each library's scale.
// Texts are Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace speech {

// The most a voice is handed at once; longer texts go in parts.
inline constexpr size_t kVoiceTextLimit = 64000;

// Trimmed of blanks and control characters at both ends; a text that is a
// single digit gets "." so that it is said as a number, not as a letter name.
[[nodiscard]] std::string voiceText(std::string_view text);

// The readings this program shares across its voices, written out for a
// system voice that would read otherwise: a hyphen that joins the parts of
// a name becomes " traço " ("nota-138.txt" is not "nota menos 138"), an
// IPv4 address becomes its four numbers joined by " ponto " (not one
// number with thousands points). Everything else is left as it is.
[[nodiscard]] std::string sharedReadings(std::string_view text);

// Consecutive parts of at most `limit` bytes that together make the text.
// A part ends after the last sentence end (".", "!", "?" or ";" before a
// blank, or a line end) that fits, else at the last blank, else at the
// limit itself.
[[nodiscard]] std::vector<std::string_view> voiceTextParts(std::string_view text,
                                                           size_t limit = kVoiceTextLimit);

// One voice of a back end's list. language is as the library gives it
// ("pt-br", "pt-BR", "pt_BR", "en").
struct VoiceEntry {
  std::string name;
  std::string language;
  std::string identifier;  // what the library selects the voice by
  bool operator==(const VoiceEntry&) const = default;
};

// Brazilian Portuguese first, then other Portuguese, then the rest, each
// group in the library's own order.
[[nodiscard]] std::vector<VoiceEntry> orderVoices(std::vector<VoiceEntry> voices);

// The configured speed as eSpeak NG words per minute, 0 for "leave the
// voice's own": above 10 it already is words per minute (kept within
// 80..450); -10..10 spreads evenly from 80 through 175 to 450.
[[nodiscard]] int espeakRate(int speed);
// The configured pitch on eSpeak NG's 0..100 scale (50 normal), -1 for
// "leave the voice's own": -10..10 steps by 5 around 50; other values are
// taken on eSpeak NG's own scale, kept within 0..100.
[[nodiscard]] int espeakPitch(int pitch);
// The configured rate, -10..10, as Speech Dispatcher's -100..100.
[[nodiscard]] int speechdRate(int rate);

}  // namespace speech
