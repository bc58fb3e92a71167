// The local file picker driven by keys: the typed answer, the spoken list,
// and the screen and working directory put back on every way out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "console/qrwinInput.h"
#include "ftp/ui/ftpLocal.h"
#include "tests/support/inputRig.h"

namespace {

using qr::VKey;
using testing_support::SpokenRig;

struct PickerRig : SpokenRig {
  qr::LineInput input{console, spoken};
  ftp::LocalPicker picker{console, spoken, input};
  std::string files = testing_support::makeSoundDir();
  std::string cwd = std::filesystem::current_path().string();

  PickerRig() {
    for (const char* name : {"leia.txt", "carta.txt", "b.doc"})
      std::ofstream(files + "/" + name) << "x";
    std::filesystem::create_directory(files + "/sub");
    std::ofstream(files + "/sub/dentro.txt") << "x";
    std::filesystem::current_path(files);
    console.consoleMoveCursor(1, 10);
    console.consoleWrite("Qual o nome do arquivo local ? ");
  }
  ~PickerRig() {
    std::filesystem::current_path(cwd);
    std::error_code ignored;
    std::filesystem::remove_all(files, ignored);
  }
  std::string heardText() {
    std::string all;
    for (const auto& e : heard()) all += e + "|";
    return all;
  }
};

TEST(Picker, TypedNameAndEnterGivesTheNameWithoutAList) {
  PickerRig rig;
  rig.type("carta.txt");
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "carta.txt");
  EXPECT_EQ(rig.heardText().find("text b.doc"), std::string::npos);
}

TEST(Picker, DownArrowListsFilesAndDirectoriesAndEnterChoosesTheBareName) {
  PickerRig rig;
  std::filesystem::create_directory_symlink(rig.files + "/sub", rig.files + "/atalho");
  const std::string before = rig.row(11);
  rig.key(VKey::Down);  // open the list on an empty answer
  rig.key(VKey::Down);  // b.doc -> carta.txt
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "carta.txt");
  std::string heard = rig.heardText();
  EXPECT_NE(heard.find("text b.doc|"), std::string::npos) << heard;
  EXPECT_NE(heard.find("text carta.txt|"), std::string::npos) << heard;
  EXPECT_EQ(rig.row(11), before) << "the list's rows are put back";
  EXPECT_EQ(std::filesystem::current_path().string(), std::filesystem::path(rig.files).string());

  // A directory is listed and said as one; a link to one is not listed.
  rig.key(VKey::Down);
  rig.key(VKey::End);
  rig.key(VKey::Up);
  rig.key(VKey::Down);
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "sub");
  heard = rig.heardText();
  const std::string dir = "text sub  diretório|";
  EXPECT_NE(heard.find(dir + "text leia.txt|"), std::string::npos) << heard;
  EXPECT_GT(heard.rfind(dir), heard.find(dir)) << heard;
  EXPECT_EQ(heard.find("atalho"), std::string::npos) << heard;
}

TEST(Picker, UpOnTheFirstEntryBeepsAndEscapeGivesBackTheTypedDirectory) {
  PickerRig rig;
  rig.type("sub/");
  rig.key(VKey::Down);
  rig.key(VKey::Up);  // before the first entry: the short tone, nothing spoken
  rig.ch(27);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "sub/");
  const std::string heard = rig.heardText();
  EXPECT_NE(heard.find("text dentro.txt|"), std::string::npos) << heard;
  EXPECT_EQ(heard.substr(heard.size() - 5), "beep|") << "nothing is spoken before the first entry";
  EXPECT_EQ(std::filesystem::current_path().string(), std::filesystem::path(rig.files).string())
      << "the working directory is put back";
}

TEST(Picker, AnEntryChosenInAnotherDirectoryCarriesItsDirectory) {
  PickerRig rig;
  rig.type("sub/");
  rig.key(VKey::Down);
  rig.ch(13);
  const std::string chosen = rig.picker.ChooseLocalFile(6);
  EXPECT_EQ(chosen, qr::fromUtf8(std::filesystem::path(rig.files).string()) + "/sub/dentro.txt");
}

TEST(Picker, SpaceMarksAndSaysTheCountAndEnterGivesEveryMarkedEntry) {
  PickerRig rig;
  rig.key(VKey::Down);  // b.doc
  rig.ch(' ');
  rig.key(VKey::Down);  // carta.txt
  rig.ch(' ');
  rig.ch(' ');
  rig.ch(' ');
  rig.key(VKey::Down);  // leia.txt, left unmarked
  rig.key(VKey::Down);  // the directory sub, marked like a file
  rig.ch(' ');
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "b.doc") << "the first marked entry";
  const std::string heard = rig.heardText();
  for (const char* said : {"text marcado, 1 marcado|", "text marcado, 2 marcados|",
                           "text desmarcado, 1 marcado|"})
    EXPECT_NE(heard.find(said), std::string::npos) << said << " in " << heard;
  EXPECT_EQ(rig.picker.TakeMarked(), (std::vector<std::string>{"b.doc", "carta.txt", "sub"}));
  EXPECT_TRUE(rig.picker.TakeMarked().empty()) << "taken once";

  rig.type("sub/");  // marks in another directory carry it; none: Enter as before
  rig.key(VKey::Down);
  rig.ch(' ');
  rig.ch(13);
  const std::string sub = qr::fromUtf8(std::filesystem::path(rig.files).string()) + "/sub/";
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), sub + "dentro.txt");
  EXPECT_EQ(rig.picker.TakeMarked(), (std::vector<std::string>{sub + "dentro.txt"}));
  rig.key(VKey::Down);
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "b.doc");
  EXPECT_TRUE(rig.picker.TakeMarked().empty());
}

TEST(Picker, TabInTheListClicksTwiceAndAsksAgain) {
  PickerRig rig;
  rig.key(VKey::Down);
  rig.ch(9);
  rig.type("leia.txt");
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "leia.txt");
  EXPECT_GE(rig.count("click"), 2);
}

TEST(Picker, AStarPatternWithEnterIsEveryMatchAndWithDownTheFilteredList) {
  PickerRig rig;
  rig.type("*.txt");
  rig.key(VKey::Down);  // opens the list: carta.txt, leia.txt
  rig.key(VKey::End);
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "leia.txt");
  EXPECT_EQ(rig.heardText().find("b.doc"), std::string::npos);
  rig.type("*.txt");
  rig.ch(13);  // the pattern itself: the caller takes every match
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "*.txt");
}

TEST(Picker, F3FindsAPieceOfANameAnEmptyAnswerTheNextAndSaysWhenNone) {
  PickerRig rig;
  std::ofstream(rig.files + "/" + qr::toUtf8(qr::W("relatório.txt"))) << "x";
  rig.key(VKey::Down);  // the list: b.doc carta.txt leia.txt relatório.txt
  rig.key(VKey::F3);
  rig.type("RIO");  // case and accents aside
  rig.ch(13);
  rig.key(VKey::F3);
  rig.type("zzz");
  rig.ch(13);
  rig.key(VKey::F3);
  rig.type("txt");
  rig.ch(13);  // after relatório.txt, round to carta.txt
  rig.key(VKey::F3);
  rig.ch(13);  // the same piece again: leia.txt
  rig.key(VKey::F3);
  rig.ch(27);  // given up: still leia.txt
  rig.ch(13);
  EXPECT_EQ(rig.picker.ChooseLocalFile(6), "leia.txt");
  const std::string heard = rig.heardText();
  const std::string found = "rio.txt|";  // relatório.txt
  EXPECT_NE(heard.find(found), std::string::npos) << heard;
  EXPECT_NE(heard.find(qr::W("Nada encontrado")), std::string::npos) << heard;
  EXPECT_LT(heard.find(found), heard.find("Nada encontrado"));
  EXPECT_LT(heard.find("Nada encontrado"), heard.rfind("text carta.txt|"));
  EXPECT_LT(heard.rfind("text carta.txt|"), heard.rfind("text leia.txt|"));
}

}  // namespace
