// Reading the engine's data files: text lines, UTF-8 or Windows-1252, handed
// on as Windows-1252 without their line ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tts {

// The lines of a file, or nothing when it cannot be opened. Bytes that form
// UTF-8 are converted to Windows-1252, others are taken as they are.
[[nodiscard]] std::optional<std::vector<std::string>> readDataLines(const std::string& path);

}  // namespace tts
