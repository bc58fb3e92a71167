// dlopen, dlsym, dlclose; see sharedLibrary.h.
#include "platform/sharedLibrary.h"

#include <dlfcn.h>

namespace platform {
namespace {

class DlLibrary : public speech::SharedLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;
  void* symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<speech::SharedLibrary> DlLoader::load(const std::string& path) {
  if (path.empty()) return nullptr;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace platform
