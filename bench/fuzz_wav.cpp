// libFuzzer target for the WAV layout walk and the speech cutting: whatever
// the bytes and the sizes they claim, nothing is read or written outside the
// buffers. Built only with clang, on request (target fuzz_wav; the program
// is fuzz/fuzz_wav in the build tree). Run: fuzz_wav -max_total_time=60 DIR
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "speech/wavPlay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exact-size copy so that the sanitizer sees any read past the end.
  std::vector<uint8_t> image(data, data + size);
  const auto info = speech::parseWavImage(image.data(), image.size());
  if (!info) return 0;
  if (info->dataOffset > image.size() || info->dataLength > image.size() - info->dataOffset)
    std::abort();
  uint64_t left = info->dataLength;
  size_t offset = info->dataOffset;
  while (left > 0) {
    const size_t piece = speech::wavPieceSize(left);
    if (piece == 0 || piece > speech::kBlockBytes) std::abort();
    std::vector<uint8_t> block(image.begin() + static_cast<long>(offset),
                               image.begin() + static_cast<long>(offset + piece));
    const uint32_t rate = (info->format.rate & 1) ? 11025 : info->format.rate;
    const size_t out = speech::cutSpeech(block.data(), block.size(), info->format.bits, rate);
    if (out > block.size()) std::abort();
    left -= piece;
    offset += piece;
  }
  return 0;
}
