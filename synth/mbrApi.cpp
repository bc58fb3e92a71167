// The library's C entry points over the one synthesiser of the process.
// Nothing thrown inside gets out: every entry point catches and reports an
// error instead (a C caller cannot take an exception).
#include "synth/mbrApi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "synth/synthesiser.h"

namespace {

synth::Synthesiser& engine() {
  static synth::Synthesiser s;
  return s;
}

constexpr const char* kVersion = "3.3 (Naviro diphone synthesiser 1.0)";

// Copies text into a caller's buffer of n bytes, always terminated; the
// text's full length.
int copyOut(const std::string& text, char* buffer, int n) {
  if (buffer && n > 0) {
    const size_t k = std::min(text.size(), static_cast<size_t>(n - 1));
    std::memcpy(buffer, text.data(), k);
    buffer[k] = '\0';
  }
  return static_cast<int>(text.size());
}

template <class F>
auto guarded(F f, decltype(f()) onFailure) -> decltype(f()) {
  try {
    return f();
  } catch (...) {
    return onFailure;
  }
}

// One-byte codings of a 16-bit sample (ITU-T G.711).
unsigned char muLaw(int16_t s) {
  constexpr int kBias = 0x84, kClip = 32635;
  int v = s;
  const int sign = v < 0 ? 0x80 : 0;
  if (v < 0) v = -v;
  v = std::min(v, kClip) + kBias;
  int exponent = 7;
  for (int mask = 0x4000; (v & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (v >> (exponent + 3)) & 0x0f;
  return static_cast<unsigned char>(~(sign | exponent << 4 | mantissa));
}

unsigned char aLaw(int16_t s) {
  int v = s;
  const int sign = v >= 0 ? 0x80 : 0;
  if (v < 0) v = -v - 1;
  v = std::min(v, 32767) >> 3;  // 13-bit magnitude
  int exponent = 0;
  if (v >= 32) {
    exponent = 1;
    while (v >= 64 && exponent < 7) v >>= 1, ++exponent;
  }
  const int mantissa = exponent == 0 ? v >> 1 : (v >> 1) & 0x0f;
  return static_cast<unsigned char>((sign | exponent << 4 | mantissa) ^ 0x55);
}

}  // namespace

extern "C" {

int init_MBR(char* dbase_name) {
  return init_rename_MBR(dbase_name, nullptr, nullptr);
}

int init_rename_MBR(char* dbase_name, char* rename, char* clone) {
  return guarded(
      [&] {
        if (!dbase_name) return static_cast<int>(synth::kErrArgument);
        return engine().open(dbase_name, rename ? rename : "", clone ? clone : "")
                   ? 0
                   : static_cast<int>(synth::kErrDatabase);
      },
      synth::kErrDatabase);
}

int write_MBR(char* buffer) {
  return guarded(
      [&] {
        if (!buffer) return static_cast<int>(synth::kErrArgument);
        const size_t n = std::strlen(buffer);
        return engine().write({buffer, n}) ? static_cast<int>(n) : engine().lastError();
      },
      synth::kErrBadLine);
}

int flush_MBR(void) {
  return guarded([] { return engine().flush() ? 1 : engine().lastError(); }, synth::kErrBadLine);
}

int read_MBR(short* buffer_out, int nb_wanted) {
  return guarded([&] { return engine().read(buffer_out, nb_wanted); }, -1);
}

int readtype_MBR(void* buffer_out, int nb_wanted, int type) {
  if (type == 0) return read_MBR(static_cast<short*>(buffer_out), nb_wanted);
  if (type < 0 || type > 3 || !buffer_out || nb_wanted <= 0) return nb_wanted <= 0 ? 0 : -1;
  return guarded(
      [&] {
        short chunk[1024];
        auto* out = static_cast<unsigned char*>(buffer_out);
        int done = 0;
        while (done < nb_wanted) {
          const int got = engine().read(chunk, std::min(nb_wanted - done, 1024));
          if (got < 0) return done > 0 ? done : got;
          if (got == 0) break;
          for (int i = 0; i < got; ++i)
            out[done + i] = type == 1   ? static_cast<unsigned char>((chunk[i] >> 8) + 128)
                            : type == 2 ? muLaw(chunk[i])
                                        : aLaw(chunk[i]);
          done += got;
        }
        return done;
      },
      -1);
}

void close_MBR(void) {
  guarded(
      [] {
        engine().close();
        return 0;
      },
      0);
}

int reset_MBR(void) {
  return guarded(
      [] {
        engine().reset();
        return 0;
      },
      -1);
}

int lastError_MBR(void) {
  return engine().lastError();
}

int lastErrorStr_MBR(char* buffer_err, int nb_wanted) {
  return copyOut(engine().lastErrorText(), buffer_err, nb_wanted);
}

void setNoError_MBR(int no_error) {
  engine().setNoError(no_error != 0);
}
int getNoError_MBR(void) {
  return engine().noError() ? 1 : 0;
}
void setFreq_MBR(int freq) {
  engine().setFrequency(freq);
}
int getFreq_MBR(void) {
  return engine().frequency();
}

void setVolumeRatio_MBR(float volume) {
  if (std::isfinite(volume) && volume >= 0) engine().setVolume(volume);
}
float getVolumeRatio_MBR(void) {
  return engine().volume();
}

int getVersion_MBR(char* buffer, int length) {
  return copyOut(kVersion, buffer, length);
}

int getDatabaseInfo_MBR(char* msg, int nb_wanted, int index) {
  return guarded(
      [&] {
        const auto line = engine().infoLine(index);
        return line ? copyOut(*line, msg, nb_wanted) : -1;
      },
      -1);
}

void setParser_MBR(void*) {}

namespace {
struct PhoneObject {
  std::string name;
  float length = 0;
  std::vector<synth::PitchPoint> pitch;
};
}  // namespace

void* init_Phone(const char* name, float length) {
  if (!name || !*name || !std::isfinite(length) || length < 0) return nullptr;
  return guarded([&]() -> void* { return new PhoneObject{name, length, {}}; }, nullptr);
}

void reset_Phone(void* ph) {
  if (ph) static_cast<PhoneObject*>(ph)->pitch.clear();
}

void close_Phone(void* ph) {
  delete static_cast<PhoneObject*>(ph);
}

int appendf0_Phone(void* ph, float pos, float f0) {
  if (!ph || !std::isfinite(pos) || !std::isfinite(f0) || f0 <= 0) return -1;
  return guarded(
      [&] {
        auto& p = static_cast<PhoneObject*>(ph)->pitch;
        p.push_back({std::clamp<double>(pos, 0, 100), f0});
        return static_cast<int>(p.size());
      },
      -1);
}

}  // extern "C"
