// The stress automaton: which vowel of a word carries the stress.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tts {

// Index of the vowel the automaton marks in a word of plain letters (upper
// or lower case; accented letters are the caller's business), if any.
[[nodiscard]] std::optional<std::size_t> stressPosition(std::string_view word);

}  // namespace tts
