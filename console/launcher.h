// Starting the programs the user opens from the spoken layer (a document by
// its configured program, an address by the desktop's association):
// detached, in the working directory, with their output sent nowhere.
// platform/ implements it; names are Windows-1252.
#pragma once

#include <string>

namespace qr {

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts program with one parameter (none when empty); false when it
  // could not be started.
  [[nodiscard]] virtual bool startDetached(const std::string& program,
                                           const std::string& parameter) = 0;
};

}  // namespace qr
