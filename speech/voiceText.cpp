// What the system voices are handed; see voiceText.h.
#include "speech/voiceText.h"

#include <algorithm>
#include <cmath>

#include "base/cp1252.h"
#include "tts/numbers.h"

namespace speech {
namespace {

constexpr bool isTrimmed(unsigned char c) {
  return c <= ' ' || c == 127;
}
constexpr bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
constexpr bool isSentenceMark(char c) {
  return c == '.' || c == '!' || c == '?' || c == ';';
}

// Where the first part of `text` ends, for a text longer than `limit`.
size_t partEnd(std::string_view text, size_t limit) {
  for (size_t c = limit; c >= 1; --c) {
    if (text[c - 1] == '\n' || (isSentenceMark(text[c - 1]) && isBlank(text[c]))) return c;
  }
  for (size_t c = limit; c >= 1; --c) {
    if (isBlank(text[c - 1])) return c;
  }
  return limit;
}

int languageRank(std::string_view language) {
  std::string l(language);
  for (char& c : l) {
    if (c == '_') c = '-';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (l == "pt-br" || l.starts_with("pt-br-")) return 0;
  if (l == "pt" || l.starts_with("pt-")) return 1;
  return 2;
}

}  // namespace

std::string voiceText(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && isTrimmed(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && isTrimmed(static_cast<unsigned char>(text[last - 1]))) --last;
  std::string out(text.substr(first, last - first));
  if (out.size() == 1 && out[0] >= '0' && out[0] <= '9') out += '.';
  return out;
}

std::string sharedReadings(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t p = 0; p < text.size();) {
    if (tts::nameHyphenAt(text, p)) {
      out += qr::W(" traço ");
      ++p;
    } else if (const size_t address = tts::ipv4LengthAt(text, p)) {
      for (const char c : text.substr(p, address)) {
        if (c == '.')
          out += " ponto ";
        else
          out += c;
      }
      p += address;
    } else {
      out += text[p++];
    }
  }
  return out;
}

std::vector<std::string_view> voiceTextParts(std::string_view text, size_t limit) {
  std::vector<std::string_view> parts;
  if (limit == 0) limit = 1;
  while (text.size() > limit) {
    const size_t end = partEnd(text, limit);
    parts.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  if (!text.empty()) parts.push_back(text);
  return parts;
}

std::vector<VoiceEntry> orderVoices(std::vector<VoiceEntry> voices) {
  std::stable_sort(voices.begin(), voices.end(), [](const VoiceEntry& a, const VoiceEntry& b) {
    return languageRank(a.language) < languageRank(b.language);
  });
  return voices;
}

int espeakRate(int speed) {
  constexpr int kSlowest = 80;
  constexpr int kNormal = 175;
  constexpr int kFastest = 450;
  if (speed == 0) return 0;
  if (speed > 10) return std::min(speed, kFastest);
  if (speed < -10) return kSlowest;
  const double step = speed < 0 ? (kNormal - kSlowest) / 10.0 : (kFastest - kNormal) / 10.0;
  return static_cast<int>(std::lround(kNormal + speed * step));
}

int espeakPitch(int pitch) {
  if (pitch == 0) return -1;
  if (pitch >= -10 && pitch <= 10) return 50 + 5 * pitch;
  return std::clamp(pitch, 0, 100);
}

int speechdRate(int rate) {
  return std::clamp(rate, -10, 10) * 10;
}

}  // namespace speech
