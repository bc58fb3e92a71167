// Loading the diphone synthesiser library (the MBROLA C API): the library is
// opened through the platform's loader and its 23 entry points are looked up
// by name; a library that lacks any one of them is unloaded again and counts
// as missing. The loader itself (dlopen) lives in platform/.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace speech {

// A loaded shared library; destroying it unloads it.
class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;
  // The address of an exported name, or nullptr.
  [[nodiscard]] virtual void* symbol(const char* name) const = 0;
};

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // nullptr when the library cannot be loaded. A name without a "/" is
  // looked for along the loader's search path.
  [[nodiscard]] virtual std::unique_ptr<SharedLibrary> load(const std::string& path) = 0;
};

// The entry points, in the order they are looked up.
inline constexpr std::array<const char*, 23> kMbrolaEntryPoints = {
    "init_MBR",       "init_rename_MBR",     "write_MBR",          "flush_MBR",
    "read_MBR",       "readtype_MBR",        "close_MBR",          "reset_MBR",
    "lastError_MBR",  "lastErrorStr_MBR",    "setNoError_MBR",     "getNoError_MBR",
    "setFreq_MBR",    "getFreq_MBR",         "setVolumeRatio_MBR", "getVolumeRatio_MBR",
    "getVersion_MBR", "getDatabaseInfo_MBR", "setParser_MBR",      "init_Phone",
    "reset_Phone",    "close_Phone",         "appendf0_Phone"};

// The C signatures of the entry points, in the same order.
struct MbrolaApi {
  int (*init_MBR)(char* dbase_name) = nullptr;
  int (*init_rename_MBR)(char* dbase_name, char* rename, char* clone) = nullptr;
  int (*write_MBR)(char* buffer) = nullptr;
  int (*flush_MBR)() = nullptr;
  int (*read_MBR)(short* buffer_out, int nb_wanted) = nullptr;
  int (*readtype_MBR)(void* buffer_out, int nb_wanted, int type) = nullptr;
  void (*close_MBR)() = nullptr;
  int (*reset_MBR)() = nullptr;
  int (*lastError_MBR)() = nullptr;
  int (*lastErrorStr_MBR)(char* buffer_err, int nb_wanted) = nullptr;
  void (*setNoError_MBR)(int no_error) = nullptr;
  int (*getNoError_MBR)() = nullptr;
  void (*setFreq_MBR)(int freq) = nullptr;
  int (*getFreq_MBR)() = nullptr;
  void (*setVolumeRatio_MBR)(float volume) = nullptr;
  float (*getVolumeRatio_MBR)() = nullptr;
  int (*getVersion_MBR)(char* buffer, int length) = nullptr;
  int (*getDatabaseInfo_MBR)(char* msg, int nb_wanted, int index) = nullptr;
  void (*setParser_MBR)(void* parser) = nullptr;
  void* (*init_Phone)(const char* name, float length) = nullptr;
  void (*reset_Phone)(void* phone) = nullptr;
  void (*close_Phone)(void* phone) = nullptr;
  int (*appendf0_Phone)(void* phone, float pos, float f0) = nullptr;
};

class Mbrola {
 public:
  explicit Mbrola(LibraryLoader& loader) : loader_(loader) {}

  // Loads the first of the paths that can be loaded (the others are not
  // tried after it) and looks up every entry point. False, with nothing
  // loaded, when no path loads or an entry point is missing; missing() then
  // names what was not found.
  [[nodiscard]] bool load(const std::vector<std::string>& paths);
  void unload();
  [[nodiscard]] bool loaded() const { return library_ != nullptr; }
  // Valid while loaded().
  [[nodiscard]] const MbrolaApi& api() const { return api_; }
  [[nodiscard]] const std::string& missing() const { return missing_; }

 private:
  LibraryLoader& loader_;
  std::unique_ptr<SharedLibrary> library_;
  MbrolaApi api_;
  std::string missing_;
};

}  // namespace speech
