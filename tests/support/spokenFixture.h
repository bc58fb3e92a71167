// A fixture with the whole spoken layer over a fake console and a letters
// directory of its own: the speech modules are made afresh by makeLayer()
// once the test has written its QUIRAL.INI and sounds into dir.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "console/qrCrt.h"
#include "console/qrwinConfig.h"
#include "console/qrwinSpoken.h"
#include "speech/diphone.h"
#include "speech/translator.h"
#include "speech/wavPlay.h"
#include "tests/support/fakes.h"

namespace testing_support {

struct SpokenLayerFixture : ::testing::Test {
  FakeFrontend frontend;
  MemoryAudio audio;
  qr::EventLog log;
  qr::Console console{frontend, audio, log};
  std::filesystem::path dir;
  std::unique_ptr<qr::Config> config;
  std::unique_ptr<speech::WavPlayer> player;
  speech::Translator translator;
  std::unique_ptr<speech::Diphone> diphone;
  std::unique_ptr<qr::Spoken> spoken;

  // A fresh directory named after the test, with "letras" inside.
  void prepare(const std::string& prefix) {
    frontend.idleAsksBeforeExit = 1 << 30;
    log.keepLines(true);
    console.useSettings(qr::ConsoleSettings{});
    dir = std::filesystem::temp_directory_path() /
          (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "letras");
  }
  // Writes QUIRAL.INI and makes the speech modules over it.
  void makeLayer(const std::string& ini) {
    std::ofstream(dir / "QUIRAL.INI") << ini;
    config = std::make_unique<qr::Config>(dir.string(), dir.string());
    player = std::make_unique<speech::WavPlayer>(console, audio, log);
    diphone = std::make_unique<speech::Diphone>(console, *player, translator);
    spoken = std::make_unique<qr::Spoken>(console, *config, *player, translator, *diphone);
    spoken->settings().lettersDir = (dir / "letras").string() + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

}  // namespace testing_support
