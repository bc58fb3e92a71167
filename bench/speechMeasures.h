// Measures the speech benchmarks share, each taking eSpeak NG's Brazilian
// Portuguese voice as the reference:
//  - eSpeak NG's phonemes for a text and its rendering of a text at a rate;
//  - a fixed sample of plain words from a word list (every n-th one), the
//    ground the letter-to-sound comparisons walk over;
//  - the syllable counted from the end that holds the stress in a phoneme
//    string;
//  - clicks (a level of at least -24 dBFS falling 30 dB or more within 2 ms);
//  - mel-cepstral distortion after dynamic time warping (how it is computed
//    is told beside melCepstralDistortion below).
// Sounds are float samples in [-1, 1) with their rate; any rate of 8 kHz or
// more will do, both sides are analysed over the same band.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace measures {

// --- eSpeak NG -----------------------------------------------------------

// Starts eSpeak NG (synchronous, no sound device) with the pt-br voice;
// the extra options are eSpeak NG's initialise flags. Returns its sample
// rate, 0 when the voice is not there.
int openEspeak(int options = 0);

// eSpeak NG's phoneme mnemonics for a UTF-8 text, as `espeak-ng -x` writes them.
std::string espeakPhonemes(const std::string& utf8);

// eSpeak NG saying a UTF-8 text at a rate in words per minute: its own
// 16-bit samples at the rate openEspeak returned. Takes over the synthesis
// callback for the call.
std::vector<int16_t> espeakRender(const std::string& utf8, int wordsPerMinute);

// --- Word sample -----------------------------------------------------------

struct WordSample {
  std::vector<std::string> words;  // UTF-8, as in the list
  size_t stride = 0;               // every stride-th plain word
  size_t plainWords = 0;           // plain words in the list
};

// A word of at least two letters, all lower case (accented ones included),
// in Windows-1252 bytes.
bool isPlainWord(std::string_view cp1252);

// Count plain words spread evenly over a UTF-8 word list; nothing when the
// list cannot be read or holds fewer. The held-out sample takes other words
// of the same spread (a quarter of a stride earlier), never looked at while
// the rules were written: a figure on it tells what the rules do on words
// they were not fitted to.
std::optional<WordSample> sampleWords(const std::string& listPath, size_t count,
                                      bool heldOut = false);

// Index from the end (1 = last) of the vowel run that holds the stress.
// Runs are broken only by consonant symbols (letters that are not vowels,
// the tap "*" and the spelled-letter "_"). With mark 0 the stressed vowel is
// the upper-case one (our phonetic text); otherwise mark is written before it
// (eSpeak NG's "'"), and eSpeak's epenthetic "@-" is no syllable.
std::optional<int> stressFromEnd(std::string_view phonemes, std::string_view vowels, char mark);

// eSpeak NG's stressed syllable from the end: the primary stress, or the
// secondary one of words it reads without a primary (eram, numa).
std::optional<int> espeakStressFromEnd(std::string_view espeakPhonemes);

// --- Sound -----------------------------------------------------------------

std::vector<float> toFloat(const std::vector<int16_t>& pcm);

// Leading and trailing silence (below -40 dBFS) off.
std::vector<float> trimSilence(const std::vector<float>& s);

// Clicks: at 0.5 ms steps, the level over the 1 ms before is at least
// -24 dBFS, and from 2 ms later on it stays 30 dB or more below that for
// 8 ms (every 1 ms window of it; 8 ms spans a pitch period, so the dip
// between two glottal pulses is not taken for a click). Events closer than
// 10 ms count once.
int countClicks(const std::vector<float>& s, int rate);

// Mel-cepstral distortion in dB between a sound and a reference saying the
// same words, after dynamic time warping: 24 mel cepstra (c_1..c_24, the
// level c_0 left out) of the natural-log power spectrum over 60-4,000 Hz
// every 10 ms, silent frames dropped, (10/ln 10) sqrt(2 sum (c_d - c'_d)^2)
// per frame pair averaged along the best alignment. The cepstra are scaled
// as a cosine series of the log envelope, so the figure does not depend on
// the number of mel bands (see the source). eSpeak NG's pt-br voice at 160
// against itself at 220 words per minute comes out at about 4.9 dB.
double melCepstralDistortion(const std::vector<float>& sound, int rate,
                             const std::vector<float>& reference, int referenceRate);

}  // namespace measures
