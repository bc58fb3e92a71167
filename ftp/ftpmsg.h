// ftpmsg: the one road by which the client speaks. A message key names a
// sentence of the catalogue; Announce writes its text and then plays the
// key's recorded file from the message sound directory when there is one
// (looked for afresh every time), or else hands the text to the voice.
#pragma once

#include <string>
#include <string_view>

namespace ftp {

class Tela;

// The catalogue text of a key (Windows-1252), or the invalid-key text.
[[nodiscard]] std::string MessageText(std::string_view key);
// What a server's refusal code means, said before the server's own text
// (Windows-1252); empty for codes that refuse nothing or say nothing more.
[[nodiscard]] std::string ReplyMeaning(int code);
// The console label of a key, if it is one.
[[nodiscard]] bool LabelText(std::string_view key, std::string& text);

class Messages {
 public:
  explicit Messages(Tela& ui) : ui_(ui) {}

  void Announce(std::string_view key, int lineEnds);
  // The same, but the recorded file or the voice is left sounding while
  // the caller goes on: a request is sent while the user hears that it is
  // on its way, data moves while its progress is said.
  void AnnounceAndGoOn(std::string_view key, int lineEnds);
  void WriteLabel(std::string_view key, int lineEnds);
  // A sentence written and not said: what the eye may want and the ear can
  // do without (the connection made secure, as expected).
  void Write(std::string_view key, int lineEnds);

 private:
  void announce(std::string_view key, int lineEnds, bool goOn);

  Tela& ui_;
};

}  // namespace ftp
