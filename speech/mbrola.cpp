// The synthesiser library's entry points; see mbrola.h.
#include "speech/mbrola.h"

namespace speech {
namespace {

// Looks one name up into a typed function pointer; false when absent.
template <typename F>
bool bind(const SharedLibrary& library, const char* name, F& slot) {
  void* address = library.symbol(name);
  if (!address) return false;
  // POSIX guarantees that an object pointer returned for a function can be
  // converted back to the function pointer.
  slot = reinterpret_cast<F>(address);
  return true;
}

}  // namespace

bool Mbrola::load(const std::vector<std::string>& paths) {
  unload();
  missing_.clear();
  for (const std::string& path : paths) {
    library_ = loader_.load(path);
    if (library_) break;
  }
  if (!library_) {
    missing_ = paths.empty() ? std::string() : paths.front();
    return false;
  }
  const SharedLibrary& lib = *library_;
  MbrolaApi& a = api_;
  const bool found[] = {
      bind(lib, kMbrolaEntryPoints[0], a.init_MBR),
      bind(lib, kMbrolaEntryPoints[1], a.init_rename_MBR),
      bind(lib, kMbrolaEntryPoints[2], a.write_MBR),
      bind(lib, kMbrolaEntryPoints[3], a.flush_MBR),
      bind(lib, kMbrolaEntryPoints[4], a.read_MBR),
      bind(lib, kMbrolaEntryPoints[5], a.readtype_MBR),
      bind(lib, kMbrolaEntryPoints[6], a.close_MBR),
      bind(lib, kMbrolaEntryPoints[7], a.reset_MBR),
      bind(lib, kMbrolaEntryPoints[8], a.lastError_MBR),
      bind(lib, kMbrolaEntryPoints[9], a.lastErrorStr_MBR),
      bind(lib, kMbrolaEntryPoints[10], a.setNoError_MBR),
      bind(lib, kMbrolaEntryPoints[11], a.getNoError_MBR),
      bind(lib, kMbrolaEntryPoints[12], a.setFreq_MBR),
      bind(lib, kMbrolaEntryPoints[13], a.getFreq_MBR),
      bind(lib, kMbrolaEntryPoints[14], a.setVolumeRatio_MBR),
      bind(lib, kMbrolaEntryPoints[15], a.getVolumeRatio_MBR),
      bind(lib, kMbrolaEntryPoints[16], a.getVersion_MBR),
      bind(lib, kMbrolaEntryPoints[17], a.getDatabaseInfo_MBR),
      bind(lib, kMbrolaEntryPoints[18], a.setParser_MBR),
      bind(lib, kMbrolaEntryPoints[19], a.init_Phone),
      bind(lib, kMbrolaEntryPoints[20], a.reset_Phone),
      bind(lib, kMbrolaEntryPoints[21], a.close_Phone),
      bind(lib, kMbrolaEntryPoints[22], a.appendf0_Phone),
  };
  for (size_t i = 0; i < kMbrolaEntryPoints.size(); ++i) {
    if (found[i]) continue;
    missing_ = kMbrolaEntryPoints[i];
    unload();
    return false;
  }
  return true;
}

void Mbrola::unload() {
  library_.reset();
  api_ = MbrolaApi{};
}

}  // namespace speech
