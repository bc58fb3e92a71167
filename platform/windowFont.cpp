// fontconfig lookup and SDL2_ttf glyph masks of the window's font.
#include "platform/windowFont.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <algorithm>

#include "base/cp1252.h"

namespace platform {

namespace {

constexpr int kBoldWeight = 600;
constexpr std::string_view kFallbackFamily = "monospace";

TTF_Font* ttf(void* font) {
  return static_cast<TTF_Font*>(font);
}

// The best match of fontconfig for a family; nullopt when it has no file.
std::optional<FontFile> match(std::string_view family, int weight) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return std::nullopt;
  const std::string name(family);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  if (weight > 0) FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (found == nullptr) return std::nullopt;
  std::optional<FontFile> file;
  FcChar8* path = nullptr;
  if (FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch) {
    file = FontFile{};
    file->path = reinterpret_cast<const char*>(path);
    int index = 0;
    if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) file->index = index;
    int foundWeight = FC_WEIGHT_REGULAR;
    if (FcPatternGetInteger(found, FC_WEIGHT, 0, &foundWeight) == FcResultMatch)
      file->bold = foundWeight >= FC_WEIGHT_DEMIBOLD;
    FcChar8* foundFamily = nullptr;
    if (FcPatternGetString(found, FC_FAMILY, 0, &foundFamily) == FcResultMatch)
      file->family = reinterpret_cast<const char*>(foundFamily);
    // fontconfig always answers with some face; the one asked for counts as
    // found only when one of the match's family names is it.
    file->fallback = true;
    for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &foundFamily) == FcResultMatch; ++i)
      if (strcasecmp(reinterpret_cast<const char*>(foundFamily), name.c_str()) == 0)
        file->fallback = false;
  }
  FcPatternDestroy(found);
  return file;
}

}  // namespace

std::optional<FontFile> findFontFile(std::string_view face, int weight) {
  if (!face.empty()) {
    std::optional<FontFile> file = match(face, weight);
    if (file && !file->fallback) return file;
  }
  std::optional<FontFile> file = match(kFallbackFamily, weight);
  if (file) file->fallback = true;
  return file;
}

CellFont::~CellFont() {
  if (font_ != nullptr) TTF_CloseFont(ttf(font_));
}

std::unique_ptr<CellFont> CellFont::open(const FontFile& file, bool bold, int width, int height,
                                         std::string& error) {
  if (TTF_WasInit() == 0 && TTF_Init() != 0) {
    error = std::string("SDL_ttf: ") + TTF_GetError();
    return nullptr;
  }
  width = std::max(1, width);
  height = std::max(1, height);
  std::unique_ptr<CellFont> f(new CellFont());
  f->width_ = width;
  f->height_ = height;
  f->font_ = TTF_OpenFontIndex(file.path.c_str(), height, file.index);
  if (f->font_ == nullptr) {
    error = "cannot open the font " + file.path + ": " + TTF_GetError();
    return nullptr;
  }
  TTF_Font* font = ttf(f->font_);
  if (bold && !file.bold) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
  // The largest size whose line height and digit advance fit the cell.
  auto fits = [font, width, height](int size) {
    if (TTF_SetFontSize(font, size) != 0) return false;
    int advance = 0;
    if (TTF_GlyphMetrics32(font, '0', nullptr, nullptr, nullptr, nullptr, &advance) != 0)
      return false;
    return TTF_FontHeight(font) <= height && advance <= width;
  };
  int low = 1;
  int high = 2 * height + 2;
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    if (fits(mid))
      low = mid;
    else
      high = mid - 1;
  }
  f->size_ = low;
  (void)TTF_SetFontSize(font, low);
  f->ascent_ = TTF_FontAscent(font);
  f->top_ = std::max(0, (height - TTF_FontHeight(font)) / 2);
  return f;
}

const uint8_t* CellFont::mask(uint8_t ch) {
  std::vector<uint8_t>& m = masks_[ch];
  if (!m.empty()) return m.data();
  m.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
  const char32_t cp = qr::codePointFromCp1252(ch);
  // Controls (and the five unused Windows-1252 positions) draw as blanks.
  if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || cp == ' ') return m.data();
  SDL_Surface* glyph =
      TTF_RenderGlyph32_Blended(ttf(font_), static_cast<Uint32>(cp), SDL_Color{255, 255, 255, 255});
  if (glyph == nullptr) return m.data();
  SDL_Surface* argb = glyph;
  if (glyph->format->format != SDL_PIXELFORMAT_ARGB8888)
    argb = SDL_ConvertSurfaceFormat(glyph, SDL_PIXELFORMAT_ARGB8888, 0);
  if (argb != nullptr && SDL_LockSurface(argb) == 0) {
    const int left = (width_ - argb->w) / 2;
    for (int y = 0; y < argb->h; ++y) {
      const int cy = top_ + y;
      if (cy < 0 || cy >= height_) continue;
      const auto* row = reinterpret_cast<const uint32_t*>(
          static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch);
      for (int x = 0; x < argb->w; ++x) {
        const int cx = left + x;
        if (cx < 0 || cx >= width_) continue;
        m[static_cast<size_t>(cy * width_ + cx)] = static_cast<uint8_t>(row[x] >> 24);
      }
    }
    SDL_UnlockSurface(argb);
  }
  if (argb != glyph) SDL_FreeSurface(argb);
  SDL_FreeSurface(glyph);
  return m.data();
}

}  // namespace platform
