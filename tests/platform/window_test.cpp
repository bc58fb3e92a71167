// Window drawing and keys without a display: the cell size rule, the grid in
// a resized window, cells in their colours, the caret, the picture moved for
// slow scrolling, the magnifier's arithmetic, and SDL keys to our keys.
#include "platform/window.h"

#include <SDL.h>
#include <SDL_keycode.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "console/qrCrt.h"
#include "platform/windowPaint.h"

namespace {

using platform::GridLayout;
using platform::Picture;
using platform::PixelRect;
using qr::VKey;

// Masks of a 4x6 cell: 'X' full, '.' half, anything else empty.
class FakeGlyphs : public platform::GlyphSource {
 public:
  const uint8_t* mask(uint8_t ch) override {
    if (ch == 'X') return full_.data();
    if (ch == '.') return half_.data();
    return empty_.data();
  }

 private:
  std::array<uint8_t, 24> full_ = filled(255);
  std::array<uint8_t, 24> half_ = filled(128);
  std::array<uint8_t, 24> empty_ = filled(0);
  static std::array<uint8_t, 24> filled(uint8_t v) {
    std::array<uint8_t, 24> a{};
    a.fill(v);
    return a;
  }
};

qr::ScreenImage blankScreen() {
  qr::ScreenImage s;
  s.chars.fill(' ');
  s.attrs.fill(0x0f);
  s.colours = qr::kPalette;
  return s;
}

void put(qr::ScreenImage& s, int column, int row, std::string_view text, uint8_t attr) {
  for (size_t i = 0; i < text.size(); ++i) {
    s.chars[row * qr::kColumns + column + static_cast<int>(i)] = static_cast<uint8_t>(text[i]);
    s.attrs[row * qr::kColumns + column + static_cast<int>(i)] = attr;
  }
}

constexpr GridLayout kSmall{4, 6, 0, 0, 3};

TEST(WindowPaint, CellSizeFollowsTheWorkAreaRoundingHalvesToEven) {
  struct Row {
    int w, h;
    platform::CellSize cell;
  };
  for (const Row& r : {Row{1024, 734, {13, 28}}, Row{2048, 1468, {26, 56}},
                       Row{512, 367, {6, 14}},  // 6.5 goes to 6
                       Row{1280, 800, {16, 31}}}) {
    SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h));
    EXPECT_EQ(platform::defaultCellSize(r.w, r.h), r.cell);
  }
}

TEST(WindowPaint, ResizedWindowGetsTheLargestCellsWithTheGridCentred) {
  const GridLayout exact = platform::layoutForWindow(800, 500);
  EXPECT_EQ(exact.grid(), (PixelRect{0, 0, 800, 500}));
  const GridLayout wide = platform::layoutForWindow(900, 610);
  EXPECT_EQ(wide.grid(), (PixelRect{10, 5, 880, 600}));
  EXPECT_EQ(wide.cell(79, 24), (PixelRect{10 + 79 * 11, 5 + 24 * 24, 11, 24}));
  const GridLayout tiny = platform::layoutForWindow(40, 10);
  EXPECT_EQ(tiny.cellWidth, 1);
  EXPECT_EQ(tiny.cellHeight, 1);
}

TEST(WindowPaint, CellsTakeTheirColoursThroughThePaletteAndBlendEdges) {
  qr::ScreenImage s = blankScreen();
  put(s, 0, 0, "X. ", 0x1e);       // yellow on blue
  s.colours[1] = qr::kPalette[4];  // the colour map sends 1 to red
  Picture p(qr::kColumns * 4, qr::kRows * 6);
  FakeGlyphs glyphs;
  platform::paintAll(p.view(), kSmall, s, glyphs);
  EXPECT_EQ(p.at(1, 1), 0xffff00u);   // 'X': all foreground
  EXPECT_EQ(p.at(5, 1), 0xff8000u);   // '.': half way from red to yellow
  EXPECT_EQ(p.at(9, 1), 0xff0000u);   // ' ': background
  EXPECT_EQ(p.at(13, 1), 0x000000u);  // white-on-black blank
  put(s, 1, 24, "X", 0x0f);
  platform::paintSpan(p.view(), kSmall, s, 24, 1, 2, glyphs);
  EXPECT_EQ(p.at(5, 24 * 6 + 2), 0xffffffu);
  EXPECT_EQ(p.at(1, 24 * 6 + 2), 0x000000u);  // the span's neighbour untouched
}

TEST(WindowPaint, CaretInvertsTwoRowsAtTheAscentAndNothingOffTheGrid) {
  Picture p(qr::kColumns * 4, qr::kRows * 6);
  EXPECT_TRUE(platform::invertCaret(p.view(), kSmall, 2, 1));
  EXPECT_EQ(p.at(8, 6 + 2), 0x000000u);
  EXPECT_EQ(p.at(8, 6 + 3), 0xffffffu);
  EXPECT_EQ(p.at(11, 6 + 4), 0xffffffu);
  EXPECT_EQ(p.at(8, 6 + 5), 0x000000u);
  EXPECT_TRUE(platform::invertCaret(p.view(), kSmall, 2, 1));
  EXPECT_EQ(p.at(8, 6 + 3), 0x000000u);
  // The cursor one past the right edge shows no caret.
  EXPECT_FALSE(platform::invertCaret(p.view(), kSmall, 80, 1));
}

TEST(WindowPaint, ScrollIsFoundAndMovingThePictureGivesTheRepaintedScreen) {
  qr::ScreenImage before = blankScreen();
  // Each row drawn differently: its number in marks, a full cell at its column.
  for (int r = 0; r < qr::kRows; ++r) {
    put(before, 0, r, "row " + std::to_string(r), 0x0f);
    put(before, 10 + r, r, "X.", static_cast<uint8_t>(r));
  }
  EXPECT_EQ(platform::scrolledLines(before, before), 0);
  for (int lines : {1, 3}) {
    SCOPED_TRACE(lines);
    qr::ScreenImage after = platform::shiftedUp(before, lines);
    std::fill(after.attrs.end() - lines * qr::kColumns, after.attrs.end(), uint8_t{0x0f});
    put(after, 0, 24 - lines, "X.X row changed as it scrolled", 0x1e);
    put(after, 0, 24, "X.X new", 0x0f);
    EXPECT_EQ(platform::scrolledLines(before, after), lines);

    FakeGlyphs glyphs;
    Picture moved(qr::kColumns * 4, qr::kRows * 6);
    platform::paintAll(moved.view(), kSmall, before, glyphs);
    platform::movePictureUp(moved.view(), kSmall, lines);
    const qr::ScreenImage shifted = platform::shiftedUp(before, lines);
    for (int r = 0; r < qr::kRows; ++r) {
      for (int c = 0; c < qr::kColumns; ++c) {
        const size_t i = static_cast<size_t>(r * qr::kColumns + c);
        if (r >= qr::kRows - lines || shifted.chars[i] != after.chars[i] ||
            shifted.attrs[i] != after.attrs[i])
          platform::paintSpan(moved.view(), kSmall, after, r, c, c + 1, glyphs);
      }
    }
    Picture whole(qr::kColumns * 4, qr::kRows * 6);
    platform::paintAll(whole.view(), kSmall, after, glyphs);
    EXPECT_EQ(moved.data, whole.data);
  }
  // A change on the cursor's row alone is no scroll.
  qr::ScreenImage typed = before;
  put(typed, 10, 24, "more", 0x0f);
  EXPECT_EQ(platform::scrolledLines(before, typed), 0);
}

TEST(WindowPaint, MagnifierKeepsThePointUnderTheMouse) {
  struct Row {
    int x, y, zoom;
    PixelRect source;
  };
  for (const Row& r : {Row{200, 0, 2, {100, 0, 400, 250}}, Row{0, 0, 2, {0, 0, 400, 250}},
                       Row{799, 499, 3, {533, 333, 266, 166}}, Row{300, 100, 1, {0, 0, 800, 500}},
                       Row{300, 100, 0, {0, 0, 800, 500}}}) {
    SCOPED_TRACE(std::to_string(r.x) + "," + std::to_string(r.y) + " x" + std::to_string(r.zoom));
    const PixelRect s = platform::zoomSource(r.x, r.y, r.zoom, 800, 500);
    EXPECT_EQ(s, r.source);
    EXPECT_LE(s.x + s.w, 800);
    EXPECT_LE(s.y + s.h, 500);
    // Stretched over the window, the source point under the mouse lands
    // within one zoomed pixel of the mouse.
    EXPECT_NEAR(s.x + r.x * s.w / 800.0, r.x, std::max(1, r.zoom));
  }
}

TEST(WindowKeys, SdlKeysBecomeOurKeys) {
  struct Row {
    SDL_Keycode sdl;
    bool numLock;
    VKey key;
  };
  for (const Row& r : {
           Row{SDLK_a, false, qr::letterKey('A')},
           Row{SDLK_z, true, qr::letterKey('Z')},
           Row{SDLK_7, false, qr::digitKey('7')},
           Row{SDLK_F11, false, VKey::F11},
           Row{SDLK_RETURN, false, VKey::Enter},
           Row{SDLK_KP_ENTER, true, VKey::Enter},
           Row{SDLK_KP_8, false, VKey::Up},
           Row{SDLK_KP_8, true, VKey::Other},
           Row{SDLK_KP_0, false, VKey::Insert},
           Row{SDLK_KP_PERIOD, false, VKey::Delete},
           Row{SDLK_PAUSE, false, VKey::Break},
           Row{SDLK_RALT, false, VKey::Alt},
           Row{SDLK_RCTRL, false, VKey::Ctrl},
           Row{SDLK_LSHIFT, false, VKey::Shift},
           Row{SDLK_PAGEDOWN, false, VKey::PageDown},
           Row{SDLK_SPACE, false, VKey::Space},
           Row{SDLK_COMMA, false, VKey::Other},
       }) {
    SCOPED_TRACE(r.sdl);
    EXPECT_EQ(platform::keyOfSdl(r.sdl, r.numLock), r.key);
  }
}

TEST(WindowKeys, CharactersSdlSendsNoTextForComeWithTheKeyDown) {
  struct Row {
    VKey key;
    platform::Modifiers mods;
    std::optional<uint8_t> ch;
  };
  const platform::Modifiers none{}, ctrl{true, false, false}, alt{false, true, false},
      ctrlAlt{true, true, false}, shift{false, false, true};
  for (const Row& r : {
           Row{VKey::Enter, none, 13},
           Row{VKey::Enter, ctrl, 10},
           Row{VKey::Backspace, ctrl, 127},
           Row{VKey::Tab, none, 9},
           Row{VKey::Escape, none, 27},
           Row{qr::letterKey('A'), ctrl, 1},
           Row{qr::letterKey('Z'), ctrl, 26},
           Row{VKey::Space, ctrl, 32},
           // Text input brings these; nothing may come twice.
           Row{qr::letterKey('A'), none, std::nullopt},
           Row{qr::letterKey('A'), shift, std::nullopt},
           Row{VKey::Space, none, std::nullopt},
           Row{qr::digitKey('1'), ctrl, std::nullopt},
           Row{qr::letterKey('A'), alt, std::nullopt},
           Row{qr::letterKey('A'), ctrlAlt, std::nullopt},
           Row{VKey::F1, none, std::nullopt},
       }) {
    SCOPED_TRACE(static_cast<int>(r.key));
    EXPECT_EQ(platform::characterWithoutText(r.key, r.mods), r.ch);
  }
}

// A whole Ctrl+Alt+1 chord, then an "a", waiting in SDL's queue together:
// SDL's present modifier state has Ctrl and Alt released by the time the
// chord's text is read, and the text must still be taken as typed with them.
// SDL's in-memory display stands in for a real one.
TEST(WindowKeys, TextOfAQueuedChordKeepsTheModifiersOfItsKeyDown) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  qr::ConsoleSettings settings;
  settings.fontWidth = 8;
  settings.fontHeight = 16;
  std::string error;
  auto window = platform::makeWindowFrontend(settings, error);
  unsetenv("SDL_VIDEODRIVER");
  ASSERT_NE(window, nullptr) << error;
  const auto key = [](Uint32 type, SDL_Keycode sym, Uint16 mod) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
  };
  const auto text = [](const char* t) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    SDL_strlcpy(e.text.text, t, sizeof e.text.text);
    SDL_PushEvent(&e);
  };
  key(SDL_KEYDOWN, SDLK_1, KMOD_LCTRL | KMOD_LALT);
  text("1");
  key(SDL_KEYUP, SDLK_1, KMOD_LCTRL | KMOD_LALT);
  key(SDL_KEYDOWN, SDLK_a, KMOD_NONE);
  text("a");
  SDL_SetModState(KMOD_NONE);  // the chord's release, already read from the display
  struct Sink : qr::KeySink {
    std::string chars;
    void keyEvent(const qr::KeyEvent& e) override {
      if (e.type == qr::KeyEvent::Type::Char) chars += static_cast<char>(e.ch);
    }
  } sink;
  window->poll(0, false, sink);
  EXPECT_EQ(sink.chars, "a");
}

}  // namespace
