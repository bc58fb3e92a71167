// The window's font: the face looked up with fontconfig, then opened with
// SDL2_ttf at the largest size whose line and character fit one cell, and
// each Windows-1252 character drawn once as the Unicode glyph it stands for
// into a coverage mask of exactly one cell.
//
// The face named by the configuration is used when fontconfig has it;
// otherwise the system's monospace face. A weight of 600 or more asks for a
// bold face and makes one when the family has none. Glyphs are always drawn
// at the cell's own pixel size, so a bigger window or a dense screen gets
// sharp letters, never a stretched picture.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windowPaint.h"

namespace platform {

struct FontFile {
  std::string path;
  int index = 0;
  std::string family;
  bool bold = false;      // the file's own face is bold
  bool fallback = false;  // the face asked for was not found
};

// The file of the face (weight in the 1-1000 scale; 0 for the default).
[[nodiscard]] std::optional<FontFile> findFontFile(std::string_view face, int weight);

class CellFont final : public GlyphSource {
 public:
  ~CellFont() override;
  CellFont(const CellFont&) = delete;
  CellFont& operator=(const CellFont&) = delete;

  // Opens the file at the size that fits cells of width x height pixels;
  // nullptr with the reason in error.
  [[nodiscard]] static std::unique_ptr<CellFont> open(const FontFile& file, bool bold, int width,
                                                      int height, std::string& error);

  [[nodiscard]] const uint8_t* mask(uint8_t ch) override;
  // The caret's top inside a cell: the baseline of the glyphs.
  [[nodiscard]] int ascent() const { return top_ + ascent_; }
  [[nodiscard]] int pointSize() const { return size_; }

 private:
  CellFont() = default;
  void* font_ = nullptr;  // TTF_Font
  int width_ = 0;
  int height_ = 0;
  int size_ = 0;
  int top_ = 0;  // the line's offset inside the cell
  int ascent_ = 0;
  std::array<std::vector<uint8_t>, 256> masks_;
};

}  // namespace platform
