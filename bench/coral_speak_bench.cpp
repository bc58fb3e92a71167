// Figures of the built-in engine's shell over the project's synthesiser:
//  - latency from the start of a speak to the first sound handed to the
//    audio device, for a prompt, a sentence and a long paragraph;
//  - time to synthesise the whole text beside the length of its sound
//    (real-time factor), through the text front and the library;
//  - how long a speak still takes when a key arrives after its first chunk
//    (the player drops the rest; the synthesis goes on to the end).
//
//   coral_speak_bench [ROOT]    (default: the build tree's QUIRAL root)
#include <chrono>
#include <cstdio>
#include <string>

#include "base/eventlog.h"
#include "platform/sharedLibrary.h"
#include "speech/audio.h"
#include "speech/coralEngine.h"
#include "speech/wavPlay.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Takes every block at once and notes when the first came.
struct TimingAudio : qr::AudioOutput {
  Clock::time_point first{};
  bool any = false;
  size_t bytes = 0;
  int open(const qr::PcmFormat&) override { return 0; }
  bool queue(const uint8_t*, size_t length) override {
    if (!any) first = Clock::now();
    any = true;
    bytes += length;
    return true;
  }
  size_t pending() const override { return 0; }
  void stop() override {}
  void close() override {}
  void toneStart(const qr::PcmFormat&, const uint8_t*, size_t) override {}
  void toneStop() override {}
};

struct Keys : speech::Pacing {
  const TimingAudio* audio = nullptr;
  bool keyAfterFirstSound = false;
  bool keyPending() override { return keyAfterFirstSound && audio->any; }
  void delay(int) override {}
  void pump() override {}
  void waitWhile(const std::function<bool()>& busy, const std::function<qr::Wake()>&) override {
    while (busy()) {
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string root = argc > 1 ? argv[1] : CORAL_BENCH_ROOT;
  const std::string dir = root + "/coraltts/";
  const struct {
    const char* name;
    std::string text;
  } texts[] = {
      {"prompt", "Nome do computador:"},
      {"sentence", "A conexão foi encerrada pelo servidor; tente de novo daqui a pouco."},
      {"paragraph",
       "Para receber um arquivo, tecle R e diga o nome do arquivo remoto. Depois diga o nome "
       "local, ou tecle Enter para usar o mesmo nome. O programa pergunta se a transferência é "
       "binária; responda S para sim ou N para não. Durante a transferência, qualquer tecla diz "
       "quanto já foi recebido, e Esc interrompe tudo. Ao fim, o programa diz quantos bytes "
       "chegaram e quanto tempo levou. Para enviar, tecle T e faça o mesmo caminho ao contrário."},
  };
  std::printf("built-in engine over %s/mbrola.so\n", root.c_str());
  for (bool key : {false, true}) {
    for (const auto& t : texts) {
      TimingAudio audio;
      Keys pacing;
      pacing.audio = &audio;
      pacing.keyAfterFirstSound = key;
      qr::EventLog log("");
      speech::WavPlayer player(pacing, audio, log);
      platform::DlLoader loader;
      speech::CoralEngine engine(loader, player, qr::MiniReg(""), root);
      if (!engine.EngineStart(dir + "br4", dir + "portug.nrl", dir + "portug.exc",
                              dir + "portug.abr", dir + "portug.pro", dir + "portug.dfn")) {
        std::printf("the engine did not start:\n");
        for (const auto& m : engine.messages()) std::printf("  %s\n", m.c_str());
        return 1;
      }
      engine.EngineSetFactors(1.0, 0.8);  // speed 0, pitch 0
      // One speak first, so that the figures do not include page faults.
      (void)engine.EngineSpeak("Olá.");
      audio = TimingAudio{};
      const auto start = Clock::now();
      (void)engine.EngineSpeak(t.text);
      const double total = msSince(start);
      const double first = std::chrono::duration<double, std::milli>(audio.first - start).count();
      const double seconds = static_cast<double>(audio.bytes) / 32000.0;
      if (!key) {
        std::printf(
            "%-10s first sound %7.1f ms, whole speak %7.1f ms for %5.2f s of speech "
            "(real-time factor %.3f)\n",
            t.name, first, total, seconds, total / 1000.0 / seconds);
      } else {
        std::printf("%-10s key after the first chunk: the speak returned after %7.1f ms\n", t.name,
                    total);
      }
    }
  }
  return 0;
}
