// The registry file read per lookup; see minireg.h.
#include "base/minireg.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/registry.h"

namespace qr {

MiniReg MiniReg::forWindowsDir(const std::string& windowsDir) {
  const char* env = std::getenv("QUIRAL_REGISTRY");
  if (env && *env) return MiniReg(env);
  return MiniReg(windowsDir + "/registry.reg");
}

bool MiniReg::ReadRegistryString(std::string_view root, std::string_view path,
                                 std::string& result) const {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  return qr::ReadRegistryString(text.str(), root, path, result);
}

}  // namespace qr
