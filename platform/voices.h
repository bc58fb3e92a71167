// The system voices: eSpeak NG through libespeak-ng (the kinds other than 3,
// 5 and 54) and Speech Dispatcher through libspeechd (kinds 5 and 54, two
// separate instances of one back end). Each is a speech::Voice; the voice
// number is the 1-based position in the back end's list as orderVoices
// gives it (Brazilian Portuguese first).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "speech/audio.h"
#include "speech/dispatcher.h"
#include "speech/voiceText.h"

namespace platform {

// eSpeak NG, synthesising on a thread of its own and playing through the
// program's audio output (an output file given in the request gets a file
// output of its own). nullptr when the library has no data, the voice number
// is beyond the list, or another eSpeak NG voice is running (the library is
// one per process).
[[nodiscard]] std::unique_ptr<speech::Voice> startEspeakVoice(const speech::VoiceRequest& request,
                                                              qr::AudioOutput& audio);

// Speech Dispatcher at $SPEECHD_ADDRESS or the user's default address,
// started on demand as its clients do. The voice number picks from the
// default output module's voices (0 or 1: its Brazilian Portuguese voice,
// chosen by language without reading the long list); 0, or a number beyond
// the list, also sets rate 0. The speed is the rate, -10..10. nullptr when
// no daemon answers or a list asked for is empty. The program ignores
// SIGPIPE: a daemon that went away then makes a text fail (a beep) instead
// of ending the process.
[[nodiscard]] std::unique_ptr<speech::Voice> startSpeechdVoice(int kind,
                                                               const speech::VoiceRequest& request);

// The lists the voice numbers refer to; nullopt when the back end cannot be
// reached.
[[nodiscard]] std::optional<std::vector<speech::VoiceEntry>> espeakVoices();
[[nodiscard]] std::optional<std::vector<speech::VoiceEntry>> speechdVoices();

}  // namespace platform
