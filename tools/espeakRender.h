// eSpeak NG rendering shared by the generators: one utterance at a time in
// the synchronous mode, keeping its samples (22,050 Hz) and its phoneme
// events (the phoneme's name and the sample where it starts). eSpeak NG
// keeps global state, so a generator renders in one thread per process.
#pragma once

#include <espeak-ng/speak_lib.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace tools {

struct Rendered {
  std::vector<int16_t> samples;
  std::vector<std::pair<std::string, int>> phonemes;  // name, first sample
};

// The utterance being rendered (filled by the synthesis callback).
inline Rendered& rendered() {
  static Rendered r;
  return r;
}

inline int collectRendered(short* wav, int n, espeak_EVENT* events) {
  auto& r = rendered();
  if (wav && n > 0) r.samples.insert(r.samples.end(), wav, wav + n);
  for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e)
    if (e->type == espeakEVENT_PHONEME) r.phonemes.emplace_back(e->id.string, e->sample);
  return 0;
}

// Starts eSpeak NG in synchronous mode with phoneme events and the
// Brazilian Portuguese voice; false, with a message naming the tool, when
// it cannot.
inline bool startEspeak(const char* tool) {
  if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                        espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_DONT_EXIT) < 0) {
    std::cerr << tool << ": eSpeak NG cannot be initialised\n";
    return false;
  }
  espeak_SetSynthCallback(collectRendered);
  if (espeak_SetVoiceByName("pt-br") != EE_OK) {
    std::cerr << tool << ": eSpeak NG has no Brazilian Portuguese voice (pt-br)\n";
    return false;
  }
  return true;
}

// Renders eSpeak NG phoneme input (the text between [[ and ]]).
inline const Rendered& renderPhonemes(const std::string& phonemes) {
  const std::string input = "[[" + phonemes + "]]";
  auto& r = rendered();
  r.samples.clear();
  r.phonemes.clear();
  espeak_Synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0,
               espeakCHARS_8BIT | espeakPHONEMES, nullptr, nullptr);
  return r;
}

}  // namespace tools
