// Figures of the window console, on the display named by DISPLAY (run it
// through bench/window_bench.sh, which starts a private virtual display):
//  - painting the picture in memory with the real font: the whole 80x25
//    screen, and one row's span;
//  - the same through the front end, copied to the window on the display;
//  - key-down to key queue: a key pressed through the X test extension until
//    the console's key read returns it.
//
//   window_bench [CELL_WIDTH CELL_HEIGHT]   (default 13 28, the size on a
//                                            1024 x 734 work area)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/eventlog.h"
#include "console/qrCrt.h"
#include "platform/audioBackends.h"
#include "platform/pollWaiter.h"
#include "platform/window.h"
#include "platform/windowFont.h"
#include "platform/windowPaint.h"

// After our headers: Xlib's macros (None, Bool) would clash with our names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Two screens that differ in every cell, in several colours.
qr::ScreenImage screen(char base) {
  qr::ScreenImage s;
  s.colours = qr::kPalette;
  for (size_t i = 0; i < s.chars.size(); ++i) {
    s.chars[i] = static_cast<uint8_t>(base + i % 26);
    s.attrs[i] = static_cast<uint8_t>(0x0f ^ (i / 80 % 7));
  }
  return s;
}

struct Figures {
  double median = 0;
  double worst = 0;
};

Figures figures(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.back()};
}

void paintInMemory(int cw, int ch) {
  const auto file = platform::findFontFile("Lucida Console", 0);
  std::string error;
  auto font = file ? platform::CellFont::open(*file, false, cw, ch, error) : nullptr;
  if (!font) {
    std::printf("no font: %s\n", error.c_str());
    return;
  }
  const platform::GridLayout layout = platform::layoutForWindow(80 * cw, 25 * ch);
  platform::Picture picture(80 * cw, 25 * ch);
  const qr::ScreenImage a = screen('a'), b = screen('A');
  platform::paintAll(picture.view(), layout, a, *font);  // glyphs drawn once
  platform::paintAll(picture.view(), layout, b, *font);
  constexpr int kRounds = 200;
  auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i)
    platform::paintAll(picture.view(), layout, i % 2 ? a : b, *font);
  const double whole = msSince(start) / kRounds;
  start = Clock::now();
  for (int i = 0; i < kRounds * 10; ++i)
    platform::paintSpan(picture.view(), layout, i % 2 ? a : b, 12, 0, 80, *font);
  const double row = msSince(start) / (kRounds * 10);
  std::printf("paint in memory (%s %dpt, cells %dx%d): whole screen %.3f ms, one row %.4f ms\n",
              file->family.c_str(), font->pointSize(), cw, ch, whole, row);
}

class Sink : public qr::KeySink {
  void keyEvent(const qr::KeyEvent&) override {}
};

void presentThroughWindow(qr::ConsoleFrontend& window) {
  const qr::ScreenImage a = screen('a'), b = screen('A');
  qr::ScreenImage rowA = a, rowB = a;
  for (int c = 0; c < 80; ++c) rowB.chars[12 * 80 + c] = static_cast<uint8_t>('0' + c % 10);
  Sink sink;
  window.present(a);
  window.poll(100, false, sink);
  constexpr int kRounds = 100;
  std::vector<double> whole, row;
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    window.present(i % 2 ? a : b);
    whole.push_back(msSince(start));
  }
  window.present(rowA);
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    window.present(i % 2 ? rowA : rowB);
    row.push_back(msSince(start));
  }
  const Figures w = figures(whole), r = figures(row);
  std::printf(
      "repaint through the window: whole screen %.3f ms (worst %.3f), one row span %.3f ms "
      "(worst %.3f)\n",
      w.median, w.worst, r.median, r.worst);
}

using FakeKey = int (*)(Display*, unsigned int, int, unsigned long);
using FakeMotion = int (*)(Display*, int, int, int, unsigned long);

void keyLatency(qr::Console& console, const char* how) {
  void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
  Display* display = XOpenDisplay(nullptr);
  if (xtst == nullptr || display == nullptr) {
    std::printf("key latency: no X test extension library or display\n");
    return;
  }
  auto fakeKey = reinterpret_cast<FakeKey>(dlsym(xtst, "XTestFakeKeyEvent"));
  auto fakeMotion = reinterpret_cast<FakeMotion>(dlsym(xtst, "XTestFakeMotionEvent"));
  // Without a window manager the keyboard follows the pointer: put it on
  // the window, which opens in the middle of the screen.
  const Screen* screen = DefaultScreenOfDisplay(display);
  fakeMotion(display, 0, WidthOfScreen(screen) / 2, HeightOfScreen(screen) / 2, 0);
  XFlush(display);
  console.consoleDelay(300);
  console.flushKeys();
  const unsigned int a = XKeysymToKeycode(display, XK_a);
  std::vector<double> latency;
  for (int i = 0; i < 60; ++i) {
    fakeKey(display, a, 1, 0);
    XFlush(display);
    const auto start = Clock::now();
    const uint8_t key = console.consoleReadKey();
    const double ms = msSince(start);
    fakeKey(display, a, 0, 0);
    XFlush(display);
    if (key == 'a') latency.push_back(ms);
    console.consoleDelay(15);
    console.flushKeys();
  }
  XCloseDisplay(display);
  if (latency.empty()) {
    std::printf("key latency: no key arrived\n");
    return;
  }
  const Figures f = figures(latency);
  std::printf("key-down to key queue (%s): median %.2f ms, worst %.2f ms over %zu keys\n", how,
              f.median, f.worst, latency.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int cw = argc > 2 ? std::atoi(argv[1]) : 13;
  const int ch = argc > 2 ? std::atoi(argv[2]) : 28;
  paintInMemory(cw, ch);
  qr::ConsoleSettings settings;
  settings.fontWidth = cw;
  settings.fontHeight = ch;
  std::string error;
  auto window = platform::makeWindowFrontend(settings, error);
  if (!window) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  presentThroughWindow(*window);
  auto audio = platform::makeNullAudio();
  qr::EventLog log("");
  qr::Console console(*window, *audio, log);
  console.useSettings(settings);
  console.consoleOpen();
  keyLatency(console, "the window's own wait");
  platform::PollWaiter waiter;
  console.useWaiter(waiter);
  keyLatency(console, "the program's one wait");
  return 0;
}
