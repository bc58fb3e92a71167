// Spoken numbers, time and date of the spoken-interaction layer: the pieces
// of a number are joined into one sound (speech::PieceJoiner) and played with
// playImageWait; the fixed pieces of the time and date ("_horas", "_de",
// "_Janeiro" ...) go through playSound, which takes them from the letters
// directory. Missing piece files are skipped without a word.
#include <ctime>

#include "console/qrwinSpoken.h"
#include "speech/numbers.h"

namespace qr {
namespace {

void runSteps(Spoken& spoken, const std::vector<speech::SpokenStep>& steps) {
  for (const auto& step : steps) {
    switch (step.kind) {
      case speech::SpokenStep::Kind::Number:
        spoken.speakNumberWords(std::string_view(step.text), step.feminine);
        break;
      case speech::SpokenStep::Kind::Piece:
        spoken.playSound(step.text);
        break;
    }
  }
}

std::tm localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

}  // namespace

void Spoken::speakNumberWords(std::string_view words, bool feminine) {
  const std::string dir = settings().lettersDir;
  speech::PieceJoiner joiner([this](const std::vector<uint8_t>& image) { playImageWait(image); });
  for (const auto& name : speech::numberPieceNames(words, feminine))
    joiner.addFile(dir + name + ".wav");
  joiner.flush();
}

void Spoken::speakNumberWords(long value, bool feminine) {
  auto magnitude = static_cast<unsigned long>(value);
  if (value < 0) {
    playSound("_MENOS");
    magnitude = 0UL - magnitude;
  }
  speakNumberWords(std::string_view(speech::numberWords(magnitude)), feminine);
}

void Spoken::speakTime(int hour, int minute) {
  runSteps(*this, speech::timeSteps(hour, minute));
}

void Spoken::speakTime() {
  const std::tm now = localNow();
  speakTime(now.tm_hour, now.tm_min);
}

void Spoken::speakDate(int weekday, int day, int month, int year) {
  runSteps(*this, speech::dateSteps(weekday, day, month, year));
}

void Spoken::speakDate() {
  const std::tm now = localNow();
  speakDate(now.tm_wday, now.tm_mday, now.tm_mon + 1, now.tm_year + 1900);
}

}  // namespace qr
