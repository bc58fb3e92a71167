// ftpDir, the browser's key table and place in the list.
#include "ftp/ftpBrowseModel.h"

#include <array>

#include "base/ascii.h"
#include "base/keyCodes.h"

namespace ftp {

namespace {

using namespace qr::ext;  // the special keys' codes

struct KeyAction {
  bool extended;
  uint8_t key;
  BrowseAction action;
};

// One row per key.
// clang-format off
constexpr std::array<KeyAction, 19> kBrowserKeys{{
    {true, kDown, BrowseAction::Next},
    {true, kUp, BrowseAction::Previous},
    {true, kPageDown, BrowseAction::NextPage},
    {true, kPageUp, BrowseAction::PreviousPage},
    {true, kHome, BrowseAction::BeforeFirst},
    {true, kCtrlPageUp, BrowseAction::BeforeFirst},
    {true, kEnd, BrowseAction::AfterLast},
    {true, kCtrlPageDown, BrowseAction::AfterLast},
    {true, kLeft, BrowseAction::Review},
    {true, kRight, BrowseAction::Review},
    {true, kCtrlInsert, BrowseAction::Copy},
    {true, kF9, BrowseAction::Menu},
    {false, qr::key::kEsc, BrowseAction::Leave},
    {false, 'R', BrowseAction::Receive},
    {false, 'A', BrowseAction::Delete},
    {false, 'D', BrowseAction::Size},
    {false, 'T', BrowseAction::Enter},
    {false, 'V', BrowseAction::Parent},
    {false, 'P', BrowseAction::Place},
}};
// clang-format on

constexpr long kPage = 5;

}  // namespace

BrowseAction BrowserAction(bool extended, uint8_t key) {
  if (!extended) key = qr::asciiUpper(key);
  for (const auto& k : kBrowserKeys)
    if (k.extended == extended && k.key == key) return k.action;
  return BrowseAction::None;
}

void BrowsePlace::move(BrowseAction action) {
  switch (action) {
    case BrowseAction::Next:
      position_ += 1;
      break;
    case BrowseAction::Previous:
      position_ -= 1;
      break;
    case BrowseAction::NextPage:
      position_ += kPage;
      break;
    case BrowseAction::PreviousPage:
      position_ -= kPage;
      break;
    case BrowseAction::BeforeFirst:
      position_ = 0;
      break;
    case BrowseAction::AfterLast:
      position_ = count_ + 1;
      break;
    case BrowseAction::None:
    case BrowseAction::Review:
    case BrowseAction::Copy:
    case BrowseAction::Menu:
    case BrowseAction::Receive:
    case BrowseAction::Delete:
    case BrowseAction::Size:
    case BrowseAction::Enter:
    case BrowseAction::Parent:
    case BrowseAction::Place:
    case BrowseAction::Leave:
      break;
  }
}

void BrowsePlace::removeHere() {
  if (hasEntry()) --count_;
}

bool BrowsePlace::settleAtEdge() {
  if (position_ < 1) {
    position_ = 0;
    return true;
  }
  if (position_ > count_) {
    position_ = count_ + 1;
    return true;
  }
  return false;
}

std::string BrowsePlace::placeText() const {
  return std::to_string(hasEntry() ? position_ : 0) + " de " + std::to_string(count_);
}

}  // namespace ftp
