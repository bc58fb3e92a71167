// Prints the built-in engine's synthesiser input lines for a text: one line
// per phoneme or pause ("name duration [position pitch]...") with the words
// as ";" comment lines, in UTF-8.
//
//   textpho [--dir DIR] [--pitch F] [--rate F] [--stage STAGE] [TEXT...]
//
// Without TEXT the text is read from standard input. DIR holds portug.nrl,
// .exc, .abr, .pro and .dfn (default: the build tree's engine directory).
// STAGE prints an earlier stage instead: normal, tags, patterns, phonemes.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "base/cp1252.h"
#include "tts/uttsFront.h"

namespace {

void print(const std::vector<std::string>& lines) {
  for (const auto& l : lines) std::cout << qr::toUtf8(l) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = TEXTPHO_DEFAULT_DIR, stage;
  double pitch = 1.0, rate = 1.0;
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const bool takesValue = a == "--dir" || a == "--pitch" || a == "--rate" || a == "--stage";
    if (takesValue && i + 1 >= argc) {
      std::cerr << "textpho: " << a << " needs a value\n";
      return 2;
    }
    auto value = [&]() -> std::string { return argv[++i]; };
    if (a == "--dir")
      dir = value();
    else if (a == "--pitch")
      pitch = std::stod(value());
    else if (a == "--rate")
      rate = std::stod(value());
    else if (a == "--stage")
      stage = value();
    else if (a == "--help") {
      std::cout << "usage: textpho [--dir DIR] [--pitch F] [--rate F] "
                   "[--stage normal|tags|patterns|phonemes] [TEXT...]\n";
      return 0;
    } else {
      if (!text.empty()) text += ' ';
      text += a;
    }
  }
  if (text.empty()) text.assign(std::istreambuf_iterator<char>(std::cin), {});
  tts::EngineFront front;
  const bool loaded = front.load(tts::engineFilesIn(dir));
  for (const auto& m : front.messages()) std::cerr << "textpho: " << qr::toUtf8(m) << "\n";
  if (!loaded) return 1;
  const std::string cp = qr::fromUtf8(text);
  const auto& p = front.prosody();
  if (stage == "normal") {
    std::cout << qr::toUtf8(front.normaliser().normaliseText(cp)) << "\n";
  } else if (stage == "tags") {
    print(p.TagWords(front.normaliser().normaliseText(cp)));
  } else if (stage == "patterns") {
    print(p.AssignPatterns(p.TagWords(front.normaliser().normaliseText(cp))));
  } else if (stage == "phonemes") {
    print(front.phonemeList(cp));
  } else if (stage.empty()) {
    print(front.phoLines(cp, pitch, rate));
  } else {
    std::cerr << "textpho: unknown stage " << stage << "\n";
    return 2;
  }
  return 0;
}
