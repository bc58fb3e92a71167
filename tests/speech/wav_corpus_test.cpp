// Mutated WAV files through the whole player: flipped bytes, cut files and
// absurd sizes in the headers give 0 or -1, never a crash, and never more
// sound than the file holds. A generated corpus with a fixed seed, so every
// run sees the same files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "console/qrCrt.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace speech {
namespace {

std::vector<uint8_t> seedFile(std::minstd_rand& random) {
  std::vector<uint8_t> samples(3000 + random() % 70000);
  for (auto& s : samples) s = static_cast<uint8_t>(random());
  const uint16_t channels = static_cast<uint16_t>(1 + random() % 2);
  const uint16_t bits = random() % 2 ? 8 : 16;
  auto image =
      makeWavImage(samples.data(), samples.size(), random() % 2 ? 11025 : 16000, channels, bits);
  if (random() % 3 == 0) {
    const uint8_t list[] = {'L', 'I', 'S', 'T', 6, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f'};
    image.insert(image.begin() + 36, std::begin(list), std::end(list));
  }
  return image;
}

void mutate(std::vector<uint8_t>& f, std::minstd_rand& random) {
  // Header fields where a wrong value hurts most: sizes and names.
  static constexpr size_t kHot[] = {0, 4, 12, 16, 20, 22, 24, 34, 36, 40, 44, 48};
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits && !f.empty(); ++e) {
    switch (random() % 5) {
      case 0:
        f[random() % f.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
      case 1:
        f.resize(random() % (f.size() + 1));
        break;
      case 2: {
        const size_t at = kHot[random() % std::size(kHot)];
        const uint32_t values[] = {0, 1, 15, 255, 65534, 65535, 0x7FFFFFFF, 0xFFFFFFFF};
        const uint32_t v = values[random() % std::size(values)];
        for (size_t i = 0; i < 4 && at + i < f.size(); ++i)
          f[at + i] = static_cast<uint8_t>(v >> (8 * i));
        break;
      }
      case 3:
        f[(random() % 8 + (random() % 2 ? 12 : 36)) % f.size()] = static_cast<uint8_t>(random());
        break;
      default:
        f[random() % f.size()] = static_cast<uint8_t>(random());
        break;
    }
  }
}

TEST(WavCorpus, MutatedFilesNeverOverReadOrCrash) {
  testing_support::FakeFrontend frontend;
  frontend.idleAsksBeforeExit = 1 << 30;
  testing_support::MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  console.useSettings(qr::ConsoleSettings{});
  WavPlayer player{console, audio, log};
  const auto path = std::filesystem::temp_directory_path() / "wavcorpus_case.wav";
  std::minstd_rand random(20261208);
  int played = 0;
  int refused = 0;
  for (int i = 0; i < 400; ++i) {
    auto f = seedFile(random);
    mutate(f, random);
    player.setCut(i % 3 == 0);
    player.setFast(i % 4 == 0);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    audio.played.clear();
    const int result = player.playWavFile(path.string());
    ASSERT_TRUE(result == 0 || result == -1) << "case " << i << " gave " << result;
    ASSERT_LE(audio.played.size(), std::max<size_t>(f.size(), 256)) << "case " << i;
    (result == 0 ? played : refused) += 1;

    audio.played.clear();
    player.playWavImage(f.data(), f.size());
    const auto info = parseWavImage(f.data(), f.size());
    if (info) {
      ASSERT_LE(info->dataOffset + info->dataLength, f.size()) << "case " << i;
    } else {
      ASSERT_TRUE(audio.played.empty()) << "case " << i;
    }
  }
  std::filesystem::remove(path);
  // The mutations must exercise both outcomes to be worth anything.
  EXPECT_GT(played, 50);
  EXPECT_GT(refused, 50);
}

}  // namespace
}  // namespace speech
