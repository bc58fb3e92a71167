// The built-in engine's shell; see coralEngine.h.
//
// The order of the calls into the synthesiser is fixed: reset before every
// text and after every refused line, one line at a time ending in CR LF,
// the error asked after every line, flush after the last line, and after
// every line everything it made read in pieces of up to 16000 samples.
#include "speech/coralEngine.h"

#include <algorithm>

#include "base/cp1252.h"
#include "base/wav.h"
#include "speech/speechLevel.h"
#include "speech/wavPlay.h"

namespace speech {
namespace {

constexpr int kReadSamples = 16000;
constexpr uint32_t kDefaultRate = 16000;
constexpr const char* kLibraryName = "mbrola.so";
constexpr const char* kDatabaseKey = "SOFTWARE\\TCTS\\Mbrola\\databases\\";

std::string orDefault(const std::string& value, const char* fallback) {
  return value.empty() ? std::string(fallback) : value;
}

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

// --- Chunks -------------------------------------------------------------------

void ChunkCollector::add(const uint8_t* bytes, size_t n, const Play& play) {
  image_.insert(image_.end(), bytes, bytes + n);
  if (pending() >= kEngineChunkBytes) hand(play);
}

void ChunkCollector::finish(const Play& play) {
  if (pending() == 0) return;
  if (pending() < kEngineLastChunkBytes) image_.resize(qr::kWavHeaderSize + kEngineLastChunkBytes);
  hand(play);
}

void ChunkCollector::hand(const Play& play) {
  qr::writeWavHeader(image_.data(), static_cast<uint32_t>(pending()), rate_, 1, 16);
  play(image_.data(), image_.size());
  clear();
}

// --- The engine ---------------------------------------------------------------

CoralEngine::CoralEngine(LibraryLoader& loader, WavPlayer& player, qr::MiniReg registry,
                         std::string root, std::string libraryDir)
    : mbrola_(loader),
      player_(player),
      registry_(std::move(registry)),
      root_(std::move(root)),
      libraryDir_(std::move(libraryDir)),
      readBuffer_(kReadSamples) {}

CoralEngine::~CoralEngine() {
  if (started() || output_) EngineClose();
}

void CoralEngine::EngineSetOutputFile(const std::string& path) {
  outputName_ = path;
}

void CoralEngine::EngineSetFactors(double pitch, double rate) {
  pitchFactor_ = pitch;
  rateFactor_ = rate;
}

std::string engineDatabasePath(const qr::MiniReg& registry, const std::string& name,
                               const std::string& root) {
  std::string entry;
  if (!registry.ReadRegistryString("HKEY_LOCAL_MACHINE", kDatabaseKey + name + "\\", entry))
    return name;
  return entry.empty() ? root + "/coraltts/br4" : entry;
}

bool CoralEngine::EngineStart(const std::string& database, const std::string& rules,
                              const std::string& exceptions, const std::string& abbreviations,
                              const std::string& prosody, const std::string& definitions) {
  // A second start without a close first ends the first one.
  if (started() || output_) EngineClose();
  messages_.clear();
  std::vector<std::string> libraries;
  if (!root_.empty()) libraries.push_back(root_ + "/" + kLibraryName);
  if (!libraryDir_.empty()) libraries.push_back(libraryDir_ + "/" + kLibraryName);
  libraries.push_back(kLibraryName);
  if (!mbrola_.load(libraries)) {
    messages_.push_back(qr::W("Biblioteca do sintetizador não carregou: ") + mbrola_.missing());
    return false;
  }
  const MbrolaApi& mbr = mbrola_.api();
  // Fails the start from here on: the synthesiser closed, the library gone.
  auto fail = [&](std::string message) {
    if (!message.empty()) messages_.push_back(std::move(message));
    mbr.close_MBR();
    front_.release();
    mbrola_.unload();
    return false;
  };

  std::string path = engineDatabasePath(registry_, orDefault(database, "br4"), root_);
  if (mbr.init_MBR(path.data()) < 0) {
    messages_.push_back(qr::W("Base de difones não abriu: ") + path);
    mbrola_.unload();
    return false;
  }
  mbr.setNoError_MBR(1);
  // As loud as the program's other voices.
  mbr.setVolumeRatio_MBR(kEngineVolume);
  const int freq = mbr.getFreq_MBR();
  rate_ = freq > 0 ? static_cast<uint32_t>(freq) : kDefaultRate;

  front_.release();
  const tts::EngineFiles files{orDefault(rules, "portug.nrl"), orDefault(exceptions, "portug.exc"),
                               orDefault(abbreviations, "portug.abr"),
                               orDefault(prosody, "portug.pro"),
                               orDefault(definitions, "portug.dfn")};
  const bool loaded = front_.load(files);
  messages_.insert(messages_.end(), front_.messages().begin(), front_.messages().end());
  if (!loaded) return fail({});

  toFile_ = false;
  if (outputName_.empty()) return true;
  output_ = std::fopen(outputName_.c_str(), "wb");
  if (!output_) return fail(qr::W("Arquivo de saída não foi criado: ") + outputName_);
  uint8_t header[qr::kWavHeaderSize];
  qr::writeWavHeader(header, 0, rate_, 1, 16);
  if (std::fwrite(header, 1, sizeof header, output_) != sizeof header) {
    std::fclose(output_);
    output_ = nullptr;
    return fail(qr::W("Arquivo de saída não foi escrito: ") + outputName_);
  }
  toFile_ = true;
  return true;
}

void CoralEngine::play(const uint8_t* image, size_t length) {
  player_.playWavImage(image, length);
}

bool CoralEngine::EngineSpeak(std::string_view text) {
  if (!started()) return false;
  bool result = true;
  if (trimmed(text).empty()) return result;
  const std::vector<std::string> lines = front_.phoLines(text, pitchFactor_, rateFactor_);

  // The player's speed options are for recorded sound; the engine's speech
  // has its own speed.
  const bool fast = player_.fast(), cut = player_.cut();
  const double tempo = player_.tempo();
  player_.setFast(false);
  player_.setCut(false);
  player_.setTempo(1.0);

  const MbrolaApi& mbr = mbrola_.api();
  const ChunkCollector::Play playChunk = [this](const uint8_t* image, size_t length) {
    play(image, length);
  };
  ChunkCollector chunks(rate_);
  mbr.reset_MBR();
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool last = i + 1 == lines.size();
    if (lines[i].empty() && !last) continue;
    std::string line = lines[i] + "\r\n";
    mbr.write_MBR(line.data());
    if (mbr.lastError_MBR() != 0) {
      mbr.reset_MBR();
      result = false;
    }
    if (last) mbr.flush_MBR();
    int got = mbr.read_MBR(readBuffer_.data(), kReadSamples);
    if (got < 0 && mbr.lastError_MBR() != 0) {
      mbr.reset_MBR();
      result = false;
    }
    while (got > 0) {
      const size_t bytes = static_cast<size_t>(std::min(got, kReadSamples)) * 2;
      const auto* data = reinterpret_cast<const uint8_t*>(readBuffer_.data());
      if (toFile_) {
        if (std::fwrite(data, 1, bytes, output_) != bytes) result = false;
      } else {
        chunks.add(data, bytes, playChunk);
      }
      got = mbr.read_MBR(readBuffer_.data(), kReadSamples);
    }
  }
  if (!toFile_) chunks.finish(playChunk);

  player_.setFast(fast);
  player_.setCut(cut);
  player_.setTempo(tempo);
  return result;
}

bool CoralEngine::EngineBusy() {
  if (toFile_ || !started()) return false;
  return player_.wavBusy();
}

void CoralEngine::EngineStop() {
  if (toFile_ || !started()) return;
  player_.wavStop();
}

void CoralEngine::EngineClose() {
  if (output_) {
    std::fclose(output_);
    output_ = nullptr;
    // The header written at the start said 0 bytes; now the size is known.
    if (std::FILE* f = std::fopen(outputName_.c_str(), "r+b")) {
      if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size >= static_cast<long>(qr::kWavHeaderSize)) {
          uint8_t header[qr::kWavHeaderSize];
          qr::writeWavHeader(header, static_cast<uint32_t>(size - qr::kWavHeaderSize), rate_, 1,
                             16);
          if (std::fseek(f, 0, SEEK_SET) == 0) std::fwrite(header, 1, sizeof header, f);
        }
      }
      std::fclose(f);
    }
  }
  toFile_ = false;
  front_.release();
  if (started()) {
    mbrola_.api().close_MBR();
    mbrola_.unload();
  }
}

// --- The dispatcher's back end -------------------------------------------------

namespace {

class CoralVoice : public BuiltinEngine {
 public:
  CoralVoice(LibraryLoader& loader, WavPlayer& player, qr::MiniReg registry, std::string root,
             std::string libraryDir)
      : engine_(loader, player, std::move(registry), std::move(root), std::move(libraryDir)),
        player_(player) {}
  bool speak(std::string_view text) override { return engine_.EngineSpeak(text); }
  bool busy(bool) override { return engine_.EngineBusy(); }
  void stop() override { engine_.EngineStop(); }
  void setOutputFile(const std::string& path) override { engine_.EngineSetOutputFile(path); }
  bool start(const BuiltinFiles& f) override {
    return engine_.EngineStart(f.database, f.files[0], f.files[1], f.files[2], f.files[3],
                               f.files[4]);
  }
  void setFactors(double pitch, double rate) override { engine_.EngineSetFactors(pitch, rate); }
  void close() override { engine_.EngineClose(); }
  // Its speech is the player's blocks: busy changes as they are played,
  // which the player's descriptor tells (or its computed time).
  void pump() override { player_.takePlayed(); }
  int eventDescriptor() const override { return player_.playedDescriptor(); }
  qr::Deadline nextPump() const override { return player_.nextChange(); }

 private:
  CoralEngine engine_;
  WavPlayer& player_;
};

}  // namespace

std::unique_ptr<BuiltinEngine> makeCoralVoice(LibraryLoader& loader, WavPlayer& player,
                                              qr::MiniReg registry, std::string root,
                                              std::string libraryDir) {
  return std::make_unique<CoralVoice>(loader, player, std::move(registry), std::move(root),
                                      std::move(libraryDir));
}

}  // namespace speech
