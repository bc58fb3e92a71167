// The SDL2 window front end. The picture of the window is kept in a surface
// of our own (cells painted by windowPaint from the font's glyph masks) and
// copied to the window's surface for the rectangles that changed; the
// magnifier stretches a part of it over the whole window instead.
//
// Size: the cells asked for by the font keys (or the work-area rule), the
// window 80 x 25 of them, kept inside the display's usable area. When the
// user resizes or maximises the window the cells are recomputed from the new
// size and the font is opened again at the size that fits them.
#include "platform/window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <SDL_ttf.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "base/cp1252.h"
#include "base/programEnd.h"
#include "platform/script.h"
#include "platform/termFrame.h"
#include "platform/windowFont.h"
#include "platform/windowPaint.h"

namespace platform {

using qr::KeyEvent;
using qr::VKey;

namespace {

constexpr int kBoldWeight = 600;
constexpr int kTitleLength = 80;
// Slow scrolling moves the picture only while the window's bottom edge is
// this far above the bottom of the screen.
constexpr int kScrollClearance = 32;
constexpr int kQuietCallsPerPump = 25;
// A display that refuses the connection is tried this many times, waiting
// 50, 100, 200... ms in between (about 1.5 s in all).
constexpr int kVideoAttempts = 6;
constexpr int kFirstRetryMs = 50;

struct SdlKey {
  SDL_Keycode sdl;
  VKey key;
};
constexpr std::array<SdlKey, 35> kSdlKeys = {{
    {SDLK_BACKSPACE, VKey::Backspace},
    {SDLK_TAB, VKey::Tab},
    {SDLK_RETURN, VKey::Enter},
    {SDLK_KP_ENTER, VKey::Enter},
    {SDLK_RETURN2, VKey::Enter},
    {SDLK_ESCAPE, VKey::Escape},
    {SDLK_SPACE, VKey::Space},
    {SDLK_PAGEUP, VKey::PageUp},
    {SDLK_PAGEDOWN, VKey::PageDown},
    {SDLK_END, VKey::End},
    {SDLK_HOME, VKey::Home},
    {SDLK_LEFT, VKey::Left},
    {SDLK_UP, VKey::Up},
    {SDLK_RIGHT, VKey::Right},
    {SDLK_DOWN, VKey::Down},
    {SDLK_INSERT, VKey::Insert},
    {SDLK_DELETE, VKey::Delete},
    {SDLK_PAUSE, VKey::Break},
    {SDLK_CANCEL, VKey::Break},
    {SDLK_F1, VKey::F1},
    {SDLK_F2, VKey::F2},
    {SDLK_F3, VKey::F3},
    {SDLK_F4, VKey::F4},
    {SDLK_F5, VKey::F5},
    {SDLK_F6, VKey::F6},
    {SDLK_F7, VKey::F7},
    {SDLK_F8, VKey::F8},
    {SDLK_F9, VKey::F9},
    {SDLK_F10, VKey::F10},
    {SDLK_F11, VKey::F11},
    {SDLK_F12, VKey::F12},
    {SDLK_LSHIFT, VKey::Shift},
    {SDLK_RSHIFT, VKey::Shift},
    {SDLK_LCTRL, VKey::Ctrl},
    {SDLK_RCTRL, VKey::Ctrl},
}};

// Keypad keys without Num Lock: the navigation keys printed on them.
constexpr std::array<SdlKey, 10> kKeypadKeys = {{
    {SDLK_KP_0, VKey::Insert},
    {SDLK_KP_PERIOD, VKey::Delete},
    {SDLK_KP_1, VKey::End},
    {SDLK_KP_2, VKey::Down},
    {SDLK_KP_3, VKey::PageDown},
    {SDLK_KP_4, VKey::Left},
    {SDLK_KP_6, VKey::Right},
    {SDLK_KP_7, VKey::Home},
    {SDLK_KP_8, VKey::Up},
    {SDLK_KP_9, VKey::PageUp},
}};

Modifiers modifiersOf(Uint16 mod) {
  return {(mod & KMOD_CTRL) != 0, (mod & KMOD_ALT) != 0, (mod & KMOD_SHIFT) != 0};
}

std::string programPath() {
  std::array<char, 4096> buffer{};
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  std::string path = n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : "naviro";
  if (path.size() > kTitleLength) path.resize(kTitleLength);
  return path;
}

SDL_Rect sdlRect(const PixelRect& r) {
  return {r.x, r.y, r.w, r.h};
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class WindowFrontend final : public qr::ConsoleFrontend {
 public:
  explicit WindowFrontend(const qr::ConsoleSettings& settings) : settings_(settings) {}

  ~WindowFrontend() override { closeWindow(); }

  bool open(std::string& error) {
    // Signals keep their ordinary meaning; SDL would turn them into a quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The picture is ours and painted in memory: the window system's own
    // framebuffer (shared memory on X) is all it needs, no OpenGL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // A console waiting for a key is no reason to keep the screen awake.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // SDL reads the text of these input methods from their message bus,
    // which our sleep on the X connection does not see.
    const std::string modifiers = env("XMODIFIERS");
    inputMethod_ = !env("SDL_IM_MODULE").empty() || modifiers.find("ibus") != std::string::npos ||
                   modifiers.find("fcitx") != std::string::npos;
    if (!startVideo(error)) return false;
    videoUp_ = true;
    const bool bold = settings_.fontWeight >= kBoldWeight;
    const std::optional<FontFile> file = findFontFile(settings_.fontFace, settings_.fontWeight);
    if (!file) {
      error = "naviro: no window: fontconfig found no font";
      return false;
    }
    fontFile_ = *file;
    bold_ = bold;

    SDL_Rect work{0, 0, 1024, 734};
    if (SDL_GetDisplayUsableBounds(0, &work) != 0) SDL_GetDisplayBounds(0, &work);

    CellSize cell = defaultCellSize(work.w, work.h);
    if (settings_.fontWidth > 0) cell.width = settings_.fontWidth;
    if (settings_.fontHeight > 0) cell.height = settings_.fontHeight;
    cell.width = std::max(1, cell.width);
    cell.height = std::max(1, cell.height);
    const int width = std::min(qr::kColumns * cell.width, std::max(work.w, qr::kColumns));
    const int height = std::min(qr::kRows * cell.height, std::max(work.h, qr::kRows));
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (settings_.maximised) flags |= SDL_WINDOW_MAXIMIZED;
    window_ = SDL_CreateWindow(programPath().c_str(), SDL_WINDOWPOS_UNDEFINED,
                               SDL_WINDOWPOS_UNDEFINED, width, height, flags);
    if (window_ == nullptr) {
      error = std::string("naviro: no window: ") + SDL_GetError();
      return false;
    }
    SDL_SetWindowMinimumSize(window_, std::max(16 * cell.width, 160),
                             std::max(4 * cell.height, 100));
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11)
      xDisplay_ = info.info.x11.display;
    if (!relayout(error)) return false;
    SDL_StartTextInput();
    return true;
  }

  void poll(int maxWaitMs, bool, qr::KeySink& sink) override {
    bool input = inputWaiting();
    if (!input && maxWaitMs > 0) input = sleepForEvents(maxWaitMs);
    // A quiet call pumps SDL only now and then (it has timed work of its
    // own, such as focus changes), every time for an input method's messages.
    if (!input && !inputMethod_ && ++quietCalls_ % kQuietCallsPerPump != 0) return;
    quietCalls_ = 0;
    sentSinceFlush_ = true;
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) handle(e, sink);
    if (needsLayout_) {
      std::string error;
      if (!relayout(error)) std::cerr << error << "\n";
    }
  }

  void present(const qr::ScreenImage& screen) override {
    // After a resize the window's old surface must not be drawn on.
    if (needsLayout_) {
      last_ = screen;
      std::string error;
      if (!relayout(error)) std::cerr << error << "\n";
      return;
    }
    if (picture_ == nullptr) {
      last_ = screen;
      return;
    }
    std::vector<PixelRect> rects;
    const PixelView view = pictureView();
    const bool full = !painted_ || !last_ || last_->colours != screen.colours;
    if (full) {
      paintAll(view, layout_, screen, *font_);
      rects.push_back({0, 0, view.width, view.height});
      caretDrawn_.reset();
    } else {
      // Take the caret off before the cells under it change.
      if (caretDrawn_) {
        (void)invertCaret(view, layout_, caretDrawn_->first, caretDrawn_->second);
        rects.push_back(layout_.cell(caretDrawn_->first, caretDrawn_->second));
        caretDrawn_.reset();
      }
      qr::ScreenImage before = *last_;
      int moved = 0;
      if (settings_.slowScroll && scrollByMoving()) moved = scrolledLines(before, screen);
      if (moved > 0) {
        movePictureUp(view, layout_, moved);
        before = shiftedUp(before, moved);
        for (int r = qr::kRows - moved; r < qr::kRows; ++r)
          paintSpan(view, layout_, screen, r, 0, qr::kColumns, *font_);
        rects.push_back(layout_.grid());
      }
      for (const Run& run : changedRuns(&before, screen, {qr::kColumns, qr::kRows - moved})) {
        paintSpan(view, layout_, screen, run.row, run.column, run.column + run.length, *font_);
        rects.push_back(layout_.span(run.row, run.column, run.column + run.length));
      }
    }
    if (screen.caretVisible && focused_ &&
        invertCaret(view, layout_, screen.cursorColumn, screen.cursorRow)) {
      caretDrawn_ = {screen.cursorColumn, screen.cursorRow};
      rects.push_back(layout_.cell(screen.cursorColumn, screen.cursorRow));
    }
    painted_ = true;
    last_ = screen;
    sentSinceFlush_ = true;
    push(rects);
  }

  void setCaption(std::string_view text) override {
    sentSinceFlush_ = true;
    if (window_ != nullptr) SDL_SetWindowTitle(window_, qr::toUtf8(text).c_str());
  }

  void clipboardPut(std::string_view text) override {
    sentSinceFlush_ = true;
    (void)SDL_SetClipboardText(qr::toUtf8(text).c_str());
  }

  std::string clipboardGet() override {
    sentSinceFlush_ = true;
    char* text = SDL_GetClipboardText();
    if (text == nullptr) return {};
    std::string out = qr::fromUtf8(text);
    SDL_free(text);
    return out;
  }

  void beep() override {
    if (xDisplay_ == nullptr) return;
    XBell(xDisplay_, 0);
    XFlush(xDisplay_);
  }

  // The X connection, for a caller's wait; -1 (ask poll() soon) while
  // events already wait in the queues, where the connection shows nothing,
  // and while an input method's messages, which come another way, need
  // SDL pumped.
  int inputDescriptor() const override {
    if (xDisplay_ == nullptr || inputMethod_ || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) ||
        XEventsQueued(xDisplay_, QueuedAlready) > 0)
      return -1;
    flushRequests();
    return ConnectionNumber(xDisplay_);
  }

  [[noreturn]] void exitProgram(int code) override {
    if (last_) writeScreenDumps(*last_);
    closeWindow();
    throw qr::ProgramEnd{code};
  }

 private:
  // Whether events wait in SDL's queue or Xlib's, or on the X connection.
  // Without X it cannot be told, and SDL is asked every time.
  bool inputWaiting() const {
    if (xDisplay_ == nullptr || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) ||
        XEventsQueued(xDisplay_, QueuedAlready) > 0)
      return true;
    pollfd fd{ConnectionNumber(xDisplay_), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
  }

  // Sends what Xlib holds back, so that no answer is awaited while we sleep.
  void flushRequests() const {
    if (xDisplay_ != nullptr && sentSinceFlush_) XFlush(xDisplay_);
    sentSinceFlush_ = false;
  }

  // Sleeps until the X connection has input or the time is up; false when
  // nothing came. Called with the queues empty. An idle wake-up makes no
  // system call besides its poll. Without X, SDL's own wait.
  bool sleepForEvents(int maxWaitMs) {
    if (xDisplay_ == nullptr) {
      SDL_Event e;
      if (SDL_WaitEventTimeout(&e, maxWaitMs) == 0) return false;
      SDL_PushEvent(&e);
      return true;
    }
    flushRequests();
    pollfd fd{ConnectionNumber(xDisplay_), POLLIN, 0};
    return ::poll(&fd, 1, maxWaitMs) > 0;
  }

  PixelView pictureView() const {
    return {static_cast<uint32_t*>(picture_->pixels), picture_->w, picture_->h,
            picture_->pitch / 4};
  }

  // Sizes the picture, the cells and the font to the window as it is now.
  bool relayout(std::string& error) {
    needsLayout_ = false;
    surface_ = SDL_GetWindowSurface(window_);
    if (surface_ == nullptr) {
      error = std::string("naviro: no window surface: ") + SDL_GetError();
      return false;
    }
    const int width = surface_->w;
    const int height = surface_->h;
    if (picture_ == nullptr || picture_->w != width || picture_->h != height) {
      if (picture_ != nullptr) SDL_FreeSurface(picture_);
      picture_ = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGB888);
      if (picture_ == nullptr) {
        error = std::string("naviro: no picture: ") + SDL_GetError();
        return false;
      }
      SDL_SetSurfaceBlendMode(picture_, SDL_BLENDMODE_NONE);
    }
    const GridLayout layout = layoutForWindow(width, height);
    if (!font_ || layout.cellWidth != layout_.cellWidth ||
        layout.cellHeight != layout_.cellHeight) {
      // On failure the old font and cells stay; cells off the picture are skipped.
      auto font = CellFont::open(fontFile_, bold_, layout.cellWidth, layout.cellHeight, error);
      if (!font) return false;
      font_ = std::move(font);
    }
    layout_ = layout;
    layout_.caretTop = font_->ascent();
    painted_ = false;
    if (last_) present(*last_);
    return true;
  }

  // Slow scrolling moves the picture only while the window is active and
  // clear of the bottom of the screen.
  bool scrollByMoving() const {
    if (!focused_ || window_ == nullptr) return false;
    int y = 0;
    int h = 0;
    SDL_GetWindowPosition(window_, nullptr, &y);
    SDL_GetWindowSize(window_, nullptr, &h);
    int bottomBorder = 0;
    (void)SDL_GetWindowBordersSize(window_, nullptr, nullptr, nullptr, &bottomBorder);
    SDL_Rect screen{};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window_), &screen) != 0) return false;
    return y + h + bottomBorder < screen.y + screen.h - kScrollClearance;
  }

  void push(const std::vector<PixelRect>& rects) {
    if (rects.empty() || surface_ == nullptr) return;
    if (zoomOn_) {
      drawZoom();
      return;
    }
    std::vector<SDL_Rect> out;
    out.reserve(rects.size());
    for (const PixelRect& r : rects) {
      SDL_Rect s = sdlRect(r);
      SDL_Rect d = s;
      SDL_BlitSurface(picture_, &s, surface_, &d);
      out.push_back(s);
    }
    SDL_UpdateWindowSurfaceRects(window_, out.data(), static_cast<int>(out.size()));
  }

  void pushAll() { push({{0, 0, picture_ ? picture_->w : 0, picture_ ? picture_->h : 0}}); }

  // The magnifier's picture for the mouse at zoomX_, zoomY_ (window points).
  void drawZoom() {
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    const int x = w > 0 ? zoomX_ * picture_->w / w : zoomX_;
    const int y = h > 0 ? zoomY_ * picture_->h / h : zoomY_;
    SDL_Rect source = sdlRect(zoomSource(x, y, settings_.zoom, picture_->w, picture_->h));
    SDL_BlitScaled(picture_, &source, surface_, nullptr);
    SDL_UpdateWindowSurface(window_);
  }

  void handle(const SDL_Event& e, qr::KeySink& sink) {
    switch (e.type) {
      case SDL_QUIT:
        exitProgram(0);
      case SDL_WINDOWEVENT:
        windowEvent(e.window);
        return;
      case SDL_KEYDOWN:
        keyDown(e.key, sink);
        return;
      case SDL_KEYUP: {
        const Modifiers m = modifiersOf(e.key.keysym.mod);
        const VKey key = keyOfSdl(e.key.keysym.sym, (e.key.keysym.mod & KMOD_NUM) != 0);
        sink.keyEvent({KeyEvent::Type::Up, key, 0, m.ctrl, m.alt, m.shift});
        return;
      }
      case SDL_TEXTINPUT:
        text(e.text.text, sink);
        return;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_RIGHT && !zoomOn_ && picture_ != nullptr) {
          zoomOn_ = true;
          zoomX_ = e.button.x;
          zoomY_ = e.button.y;
          drawZoom();
        }
        return;
      case SDL_MOUSEMOTION:
        if (zoomOn_) {
          zoomX_ = e.motion.x;
          zoomY_ = e.motion.y;
          drawZoom();
        }
        return;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_RIGHT && zoomOn_) {
          zoomOn_ = false;
          pushAll();
        }
        return;
      default:
        return;
    }
  }

  void windowEvent(const SDL_WindowEvent& w) {
    switch (w.event) {
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        needsLayout_ = true;
        return;
      case SDL_WINDOWEVENT_EXPOSED:
        if (!needsLayout_ && picture_ != nullptr) pushAll();
        return;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
      case SDL_WINDOWEVENT_FOCUS_LOST:
        focused_ = w.event == SDL_WINDOWEVENT_FOCUS_GAINED;
        if (last_) present(*last_);
        return;
      case SDL_WINDOWEVENT_CLOSE:
        exitProgram(0);
      default:
        return;
    }
  }

  void keyDown(const SDL_KeyboardEvent& k, qr::KeySink& sink) {
    keyDownModifiers_ = k.keysym.mod;
    const Modifiers m = modifiersOf(k.keysym.mod);
    const VKey key = keyOfSdl(k.keysym.sym, (k.keysym.mod & KMOD_NUM) != 0);
    sink.keyEvent({KeyEvent::Type::Down, key, 0, m.ctrl, m.alt, m.shift});
    if (const auto ch = characterWithoutText(key, m))
      sink.keyEvent({KeyEvent::Type::Char, key, *ch, m.ctrl, m.alt, m.shift});
  }

  void text(const char* utf8, qr::KeySink& sink) {
    // The text of a key comes after its key-down, and with the modifiers
    // held then: SDL's present state may already have Ctrl released when
    // a whole chord waited in the queue.
    const Modifiers m = modifiersOf(keyDownModifiers_);
    // Characters typed with Ctrl were made from their key-down already.
    if (m.ctrl) return;
    for (const char c : qr::fromUtf8(utf8)) {
      const auto b = static_cast<uint8_t>(c);
      sink.keyEvent({KeyEvent::Type::Char, keyOfCharacter(b).key, b, m.ctrl, m.alt, m.shift});
    }
  }

  // SDL's video on the user's display. Left to itself, SDL falls back to a
  // picture in memory that nobody sees when the X server refuses one
  // connection (a busy server resets some), and the program would wait for
  // keys from a window that does not exist. Only the display the
  // environment names is taken, a refused connection is tried again for
  // about a second, and a memory picture only when SDL_VIDEODRIVER asks.
  bool startVideo(std::string& error) {
    const bool chosenByUser = !env("SDL_VIDEODRIVER").empty();
    if (!chosenByUser) {
      std::string drivers;
      if (!env("DISPLAY").empty()) drivers = "x11";
      if (!env("WAYLAND_DISPLAY").empty()) drivers += drivers.empty() ? "wayland" : ",wayland";
      if (!drivers.empty()) SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
    int pause = kFirstRetryMs;
    for (int attempt = 1;; ++attempt) {
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        const std::string driver = SDL_GetCurrentVideoDriver();
        if (chosenByUser || (driver != "offscreen" && driver != "dummy")) return true;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        error =
            "naviro: no window: no display to open it on (DISPLAY and WAYLAND_DISPLAY are "
            "empty)";
        return false;
      }
      error = std::string("naviro: no window: ") + SDL_GetError();
      if (!env("DISPLAY").empty() && !chosenByUser)
        error += " (the display " + env("DISPLAY") + " could not be reached)";
      if (attempt == kVideoAttempts) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      pause *= 2;
    }
  }

  void closeWindow() {
    font_.reset();
    if (picture_ != nullptr) SDL_FreeSurface(picture_);
    picture_ = nullptr;
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    window_ = nullptr;
    surface_ = nullptr;
    if (TTF_WasInit() != 0) TTF_Quit();
    if (videoUp_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoUp_ = false;
  }

  qr::ConsoleSettings settings_;
  FontFile fontFile_;
  bool bold_ = false;
  bool videoUp_ = false;
  SDL_Window* window_ = nullptr;
  Display* xDisplay_ = nullptr;  // SDL's connection, when the window is on X
  bool inputMethod_ = false;     // text comes through an input method's bus
  int quietCalls_ = 0;
  Uint16 keyDownModifiers_ = KMOD_NONE;  // of the last key-down, for its text
  mutable bool sentSinceFlush_ = true;   // requests may wait in Xlib's buffer
  SDL_Surface* surface_ = nullptr;       // the window's, owned by SDL
  SDL_Surface* picture_ = nullptr;
  std::unique_ptr<CellFont> font_;
  GridLayout layout_;
  std::optional<qr::ScreenImage> last_;
  std::optional<std::pair<int, int>> caretDrawn_;
  bool painted_ = false;
  bool needsLayout_ = false;
  bool focused_ = false;
  bool zoomOn_ = false;
  int zoomX_ = 0;
  int zoomY_ = 0;
};

}  // namespace

VKey keyOfSdl(int sdlKeycode, bool numLock) {
  if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z)
    return qr::letterKey(static_cast<char>('A' + (sdlKeycode - SDLK_a)));
  if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9)
    return qr::digitKey(static_cast<char>('0' + (sdlKeycode - SDLK_0)));
  if (sdlKeycode == SDLK_LALT || sdlKeycode == SDLK_RALT) return VKey::Alt;
  for (const SdlKey& k : kSdlKeys)
    if (k.sdl == sdlKeycode) return k.key;
  if (!numLock)
    for (const SdlKey& k : kKeypadKeys)
      if (k.sdl == sdlKeycode) return k.key;
  return VKey::Other;
}

std::optional<uint8_t> characterWithoutText(VKey key, Modifiers mods) {
  if (mods.ctrl) return keyCharacter(key, mods);
  switch (key) {
    case VKey::Enter:
    case VKey::Backspace:
    case VKey::Tab:
    case VKey::Escape:
      return keyCharacter(key, mods);
    default:
      return std::nullopt;
  }
}

std::unique_ptr<qr::ConsoleFrontend> makeWindowFrontend(const qr::ConsoleSettings& settings,
                                                        std::string& error) {
  auto frontend = std::make_unique<WindowFrontend>(settings);
  if (!frontend->open(error)) return nullptr;
  return frontend;
}

}  // namespace platform
