// The fixture of the database windows' tests: the main window over a
// folder of arrangement files ("songs" in the program folder), the bank
// files, and the database built in code.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/arrwintest.h"

class DBArrWinTest : public MainFixture {
 protected:
  void SetUp() override {
    MainFixture::SetUp();
    dir_ = ProgFile("songs");
    ASSERT_EQ(MakeDirs(dir_), 0);
    WriteBytes(ProgFile("r40ArrA"), arrwintest::BankImage());
    std::vector<std::pair<std::string, int>> b;
    for (int i = 0; i < 64; ++i) b.push_back({"B " + CStr(i), 70});
    WriteBytes(ProgFile("r40ArrB"), arrwintest::BankImage(b));
  }

  std::string Db() const { return ReadBytes(WinFile("r40DBArr")); }
  void PutDb(const std::vector<DBArrEntry>& entries) { WriteBytes(WinFile("r40DBArr"), DBArrBytes(dir_, entries)); }
  std::string Song(const std::string& file) const { return dir_ + "/" + file; }
  void PutSong(const std::string& file, const std::string& bytes = ArrFileBytes()) { WriteBytes(Song(file), bytes); }

  // Starts and lets the start-up settle, with no transfer before a call-up
  // (only the call-up goes out), no automatic add and files opened
  // writable.
  void StartClean() {
    Start();
    Settle();
    UntickPlainOptions();
    midi_->ClearRecords();
  }

  std::string dir_;
};
