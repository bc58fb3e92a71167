// The dynamic loader behind speech::LibraryLoader: dlopen with every symbol
// bound at once (a library with an unresolved reference fails to load rather
// than failing in the middle of a text) and kept local to the library.
#pragma once

#include "speech/mbrola.h"

namespace platform {

class DlLoader : public speech::LibraryLoader {
 public:
  [[nodiscard]] std::unique_ptr<speech::SharedLibrary> load(const std::string& path) override;
};

}  // namespace platform
