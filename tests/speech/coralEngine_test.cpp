// The built-in engine's shell. Its failure paths run against a stand-in
// library built beside the tests (fakeMbrola.c: a tone per phoneme line);
// what the user hears runs against the project's own synthesiser and
// database in the build tree's QUIRAL root, and is skipped when they have
// not been built.
#include "speech/coralEngine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/eventlog.h"
#include "platform/sharedLibrary.h"
#include "speech/speechLevel.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace {

namespace fs = std::filesystem;
using speech::ChunkCollector;
using speech::CoralEngine;

const std::string kEngineDir = QUIRAL_BUILD_ROOT "/coraltts/";
const std::string kRealLibrary = QUIRAL_BUILD_ROOT "/mbrola.so";
const std::string kRealDatabase = QUIRAL_BUILD_ROOT "/coraltts/br4";

fs::path scratch(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("coral-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Quiet : speech::Pacing {
  bool keyPending() override { return false; }
  void delay(int) override {}
  void pump() override {}
  // The memory device plays at once: busy ends by itself.
  void waitWhile(const std::function<bool()>& busy, const std::function<qr::Wake()>&) override {
    while (busy()) {
    }
  }
};

// The player, its audio and log, and an engine over them whose QUIRAL root
// holds `library` as mbrola.so (a link, so that the test's own handle on
// the stand-in is the same loaded copy) and whose registry file is absent.
struct Rig {
  Quiet pacing;
  testing_support::MemoryAudio audio;
  qr::EventLog log;
  speech::WavPlayer player{pacing, audio, log};
  platform::DlLoader loader;
  fs::path root;
  std::unique_ptr<CoralEngine> engine;

  Rig(const std::string& name, const std::string& library) : root(scratch(name)) {
    log.keepLines(true);
    if (!library.empty()) fs::create_symlink(library, root / "mbrola.so");
    engine = std::make_unique<CoralEngine>(
        loader, player, qr::MiniReg((root / "registry.reg").string()), root.string());
  }
  [[nodiscard]] bool start(const std::string& database, const std::string& rules = "") {
    return engine->EngineStart(database, rules.empty() ? kEngineDir + "portug.nrl" : rules,
                               kEngineDir + "portug.exc", kEngineDir + "portug.abr",
                               kEngineDir + "portug.pro", kEngineDir + "portug.dfn");
  }
  // Data bytes of every in-memory image handed to the player.
  [[nodiscard]] std::vector<long long> images() const {
    std::vector<long long> out;
    for (const auto& l : log.lines())
      if (l.rfind("image ", 0) == 0) out.push_back(std::stoll(l.substr(6)));
    return out;
  }
};

// The stand-in's call trace, through a handle of the test's own.
struct Trace {
  std::unique_ptr<speech::SharedLibrary> library;
  explicit Trace(platform::DlLoader& loader) : library(loader.load(FAKE_MBROLA_fake_mbrola)) {
    clear();
  }
  [[nodiscard]] std::string text() const {
    return reinterpret_cast<const char* (*)()>(library->symbol("fake_trace"))();
  }
  void clear() { reinterpret_cast<void (*)()>(library->symbol("fake_trace_clear"))(); }
};

double rms(const std::vector<uint8_t>& bytes, size_t from = 0) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from; i + 1 < bytes.size(); i += 2, ++n) {
    const auto s = static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8));
    sum += double(s) * s;
  }
  return n ? std::sqrt(sum / double(n)) : 0;
}

TEST(ChunkCollector, HalfSecondChunksAndAPaddedLastOne) {
  const struct {
    std::vector<size_t> reads;
    std::vector<size_t> chunks;
  } rows[] = {
      {{}, {}},
      {{100}, {256}},  // too short for the player: padded with silence
      {{256}, {256}},
      {{300}, {300}},
      {{16000}, {16000}},
      {{15998, 2}, {16000}},
      {{10000, 10000, 10000}, {20000, 10000}},
      {{32000, 32000, 100}, {32000, 32000, 256}},
      {{2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 40}, {16000, 256}},
  };
  for (const auto& row : rows) {
    ChunkCollector chunks(16000);
    std::vector<std::vector<uint8_t>> played;
    const auto play = [&](const uint8_t* image, size_t length) {
      played.emplace_back(image, image + length);
    };
    for (size_t n : row.reads) {
      const std::vector<uint8_t> bytes(n, 0x11);
      chunks.add(bytes.data(), n, play);
    }
    chunks.finish(play);
    std::vector<size_t> sizes;
    for (const auto& image : played) {
      const auto info = qr::parseWavImage(image.data(), image.size());
      ASSERT_TRUE(info);
      EXPECT_EQ(info->format, (qr::WavFormat{16000, 1, 16}));
      EXPECT_EQ(info->dataLength + qr::kWavHeaderSize, image.size());
      sizes.push_back(info->dataLength);
    }
    EXPECT_EQ(sizes, row.chunks) << "first read " << (row.reads.empty() ? 0 : row.reads[0]);
    if (!played.empty() && row.chunks.back() == 256 && row.reads.back() < 256) {
      EXPECT_EQ(played.back().back(), 0) << "padding is silence";
    }
  }
}

TEST(CoralEngine, DatabaseFromTheRegistryOrByItsName) {
  const fs::path dir = scratch("registry");
  const std::string reg = (dir / "registry.reg").string();
  const struct {
    const char* registry;  // nullptr: no registry file
    const char* name;
    std::string path;
  } rows[] = {
      {nullptr, "br4", "br4"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\BR4]\n@=\"/v/br4\"\n",
       "br4", "/v/br4"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\br4]\n@=\"\"\n", "br4",
       "/q/coraltts/br4"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\br1]\n@=\"/v/br1\"\n",
       "br4", "br4"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TCTS\\Mbrola\\databases\\br4]\n@=dword:1\n", "br4",
       "br4"},
  };
  for (const auto& row : rows) {
    fs::remove(reg);
    if (row.registry) writeFile(reg, row.registry);
    EXPECT_EQ(speech::engineDatabasePath(qr::MiniReg(reg), row.name, "/q"), row.path)
        << (row.registry ? row.registry : "(no registry)");
  }
}

TEST(CoralEngine, MissingLibraryOrEntryPointFailsTheStart) {
  const struct {
    std::string library;
    std::string said;
  } rows[] = {{"", "mbrola.so"}, {FAKE_MBROLA_fake_mbrola_partial, "appendf0_Phone"}};
  for (const auto& row : rows) {
    Rig rig("nolib", row.library);
    writeFile(rig.root / "br4", "x");
    EXPECT_FALSE(rig.start((rig.root / "br4").string())) << row.said;
    EXPECT_FALSE(rig.engine->started());
    ASSERT_FALSE(rig.engine->messages().empty());
    EXPECT_NE(rig.engine->messages().back().find(row.said), std::string::npos)
        << rig.engine->messages().back();
    EXPECT_FALSE(rig.engine->EngineSpeak("Olá")) << "nothing to speak with";
    EXPECT_TRUE(rig.audio.played.empty());
  }
}

TEST(CoralEngine, FailedStartsCloseTheSynthesiserAndLeaveItUnloaded) {
  Rig rig("fails", FAKE_MBROLA_fake_mbrola);
  Trace trace(rig.loader);
  const std::string db = (rig.root / "br4").string();
  writeFile(db, "x");

  EXPECT_FALSE(rig.start((rig.root / "nothing").string())) << "no database";
  EXPECT_FALSE(rig.engine->started());
  EXPECT_NE(trace.text().find("init " + (rig.root / "nothing").string()), std::string::npos);

  trace.clear();
  EXPECT_FALSE(rig.start(db, (rig.root / "portug.nrl").string())) << "no rules file";
  EXPECT_FALSE(rig.engine->started());
  EXPECT_EQ(trace.text(), "init " + db + "\nnoerror\nclose\n");

  trace.clear();
  rig.engine->EngineSetOutputFile((rig.root / "no" / "such" / "dir.wav").string());
  EXPECT_FALSE(rig.start(db)) << "output file cannot be created";
  EXPECT_FALSE(rig.engine->started());
  EXPECT_EQ(trace.text(), "init " + db + "\nnoerror\nclose\n");

  rig.engine->EngineSetOutputFile("");
  EXPECT_TRUE(rig.start(db)) << "a later start still works";
}

TEST(CoralEngine, RefusedLineResetsTheSynthesiserAndTheRestIsSpoken) {
  Rig rig("refused", FAKE_MBROLA_fake_mbrola);
  Trace trace(rig.loader);
  writeFile(rig.root / "br4", "x");
  ASSERT_TRUE(rig.start((rig.root / "br4").string()));
  trace.clear();
  ::setenv("FAKE_MBR_REFUSE", "m", 1);
  const bool said = rig.engine->EngineSpeak("Nome do computador");
  ::unsetenv("FAKE_MBR_REFUSE");
  EXPECT_FALSE(said);
  const std::string t = trace.text();
  // reset first; every line written, the refused one followed by a reset;
  // flush after the last line.
  EXPECT_EQ(t.rfind("reset\n", 0), 0u) << t;
  const auto refusedReset = t.find("write\nreset\n");
  ASSERT_NE(refusedReset, std::string::npos) << t;
  EXPECT_NE(t.find("write\n", refusedReset + 12), std::string::npos) << "lines after it: " << t;
  EXPECT_EQ(t.substr(t.size() - 12), "write\nflush\n");
  EXPECT_GT(rms(rig.audio.played), 1000) << "the other lines are heard";

  trace.clear();
  EXPECT_TRUE(rig.engine->EngineSpeak("Nome do computador")) << "the next text is clean";
}

// --- With the project's own synthesiser and database -----------------------

struct RealVoice : ::testing::Test {
  void SetUp() override {
    if (!fs::exists(kRealLibrary) || !fs::exists(kRealDatabase))
      GTEST_SKIP() << "no synthesiser built in " << QUIRAL_BUILD_ROOT;
  }
};

TEST_F(RealVoice, SixEmptyNamesUseBr4AndThePortugFilesOfTheCurrentDirectory) {
  Rig rig("empty-names", kRealLibrary);
  const fs::path here = fs::current_path();
  const fs::path voice = scratch("empty-names-cwd");
  fs::create_symlink(kRealDatabase, voice / "br4");
  for (const char* ext : {".nrl", ".exc", ".abr", ".pro", ".dfn"})
    fs::create_symlink(kEngineDir + "portug" + ext, voice / (std::string("portug") + ext));
  fs::current_path(rig.root);
  EXPECT_FALSE(rig.engine->EngineStart("", "", "", "", "", "")) << "nothing here";
  fs::current_path(voice);
  const bool started = rig.engine->EngineStart("", "", "", "", "", "");
  fs::current_path(here);
  ASSERT_TRUE(started);
  EXPECT_TRUE(rig.engine->EngineSpeak("Olá"));
  EXPECT_GT(rms(rig.audio.played), 300);
}

TEST_F(RealVoice, SpokenInHalfSecondChunksWithThePlayersOptionsOffAndBack) {
  Rig rig("aloud", kRealLibrary);
  ASSERT_TRUE(rig.start(kRealDatabase));
  rig.player.setFast(true);
  rig.player.setCut(true);
  rig.player.setTempo(1.3);

  EXPECT_TRUE(rig.engine->EngineSpeak(" \t  ")) << "blanks say nothing, and that is no error";
  EXPECT_TRUE(rig.images().empty());
  EXPECT_TRUE(rig.audio.played.empty());

  ASSERT_TRUE(rig.engine->EngineSpeak(
      "Nome do computador. A conexão foi encerrada pelo servidor, tente de novo."));
  const auto chunks = rig.images();
  ASSERT_GE(chunks.size(), 2u);
  for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_GE(chunks[i], 16000) << "chunk " << i;
  EXPECT_GE(chunks.back(), 256);
  // Played as made: 16-bit at 16 kHz, neither cut nor sped up.
  ASSERT_FALSE(rig.audio.opens.empty());
  EXPECT_EQ(rig.audio.opens.back(), (qr::PcmFormat{16000, 16, 1}));
  long long total = 0;
  for (long long c : chunks) total += c;
  EXPECT_EQ(static_cast<long long>(rig.audio.played.size()), total);
  EXPECT_GT(rms(rig.audio.played), 300);
  // As loud as the program's other voices.
  std::vector<float> heard;
  for (size_t i = 0; i + 1 < rig.audio.played.size(); i += 2)
    heard.push_back(static_cast<int16_t>(rig.audio.played[i] | rig.audio.played[i + 1] << 8) /
                    32768.0f);
  const auto level = speech::activeLevel(heard, 16000);
  ASSERT_TRUE(level);
  EXPECT_NEAR(*level, speech::kSpeechLevel, 1.5);
  EXPECT_TRUE(rig.player.fast());
  EXPECT_TRUE(rig.player.cut());
  EXPECT_DOUBLE_EQ(rig.player.tempo(), 1.3);

  // A slower rate factor makes longer speech.
  rig.log.keepLines(false);
  rig.audio.played.clear();
  ASSERT_TRUE(rig.engine->EngineSpeak("Nome do computador"));
  const size_t normal = rig.audio.played.size();
  rig.audio.played.clear();
  rig.engine->EngineSetFactors(1.0, 1.6);
  ASSERT_TRUE(rig.engine->EngineSpeak("Nome do computador"));
  EXPECT_GT(rig.audio.played.size(), normal * 3 / 2);
  rig.engine->EngineClose();
  EXPECT_FALSE(rig.engine->started());
}

TEST_F(RealVoice, ToFileHeaderGetsTheTrueSizeAtCloseAndBusyStaysFalse) {
  Rig rig("to-file", kRealLibrary);
  const std::string out = (rig.root / "fala.wav").string();
  rig.engine->EngineSetOutputFile(out);
  ASSERT_TRUE(rig.start(kRealDatabase));
  EXPECT_FALSE(rig.engine->EngineBusy());
  EXPECT_TRUE(rig.engine->EngineSpeak("Transferência concluída."));
  EXPECT_FALSE(rig.engine->EngineBusy());
  EXPECT_TRUE(rig.engine->EngineSpeak("Nome do computador"));
  EXPECT_FALSE(rig.engine->EngineBusy());
  rig.engine->EngineStop();
  rig.engine->EngineClose();
  EXPECT_TRUE(rig.audio.played.empty()) << "nothing played aloud";

  std::ifstream in(out, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  const auto info = qr::parseWavImage(file.data(), file.size());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->format, (qr::WavFormat{16000, 1, 16}));
  EXPECT_EQ(info->dataOffset, qr::kWavHeaderSize);
  const auto riff = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
  const auto data = file[40] | file[41] << 8 | file[42] << 16 | uint32_t(file[43]) << 24;
  EXPECT_EQ(data, file.size() - 44);
  EXPECT_EQ(riff, data + 36);
  EXPECT_GT(data, 16000u * 2) << "more than a second of speech";
  EXPECT_GT(rms(file, 44), 300);

  // Played aloud, the same texts come to the same samples: nothing lost or
  // repeated where one chunk ends and the next begins.
  Rig aloud("to-file-aloud", kRealLibrary);
  ASSERT_TRUE(aloud.start(kRealDatabase));
  EXPECT_TRUE(aloud.engine->EngineSpeak("Transferência concluída."));
  EXPECT_TRUE(aloud.engine->EngineSpeak("Nome do computador"));
  EXPECT_GT(aloud.images().size(), 2u);
  EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), aloud.audio.played.begin(),
                         aloud.audio.played.end()));
}

}  // namespace
