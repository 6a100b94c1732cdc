// The program as the window benchmarks run it: Main's start with the main
// window (first start, English), offscreen, on the virtual MIDI back end,
// with scripted dialogs, in temporary Windows and program folders (the
// program folder is the current directory). Also the small helpers the
// benchmarks share.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/winfolder.h"
#include "ui/documents/register.h"
#include "ui/editors/register.h"
#include "ui/main/frmmain.h"

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

class BenchProgram {
 public:
  // Makes the folders; the files the run needs go into Folder() before
  // Start.
  BenchProgram() {
    ok_ = winDir_.isValid() && progDir_.isValid();
    if (!ok_) return;
    QDir::setCurrent(progDir_.path());
    SetWinFolder(QFile::encodeName(winDir_.path()).toStdString());
    folder_ = QFile::encodeName(progDir_.path()).toStdString();
  }
  ~BenchProgram() {
    delete main_;
    midiplatform::Shutdown();
    SetDialogs(nullptr);
  }
  BenchProgram(const BenchProgram&) = delete;
  BenchProgram& operator=(const BenchProgram&) = delete;

  const std::string& Folder() const { return folder_; }

  // Starts the program on a virtual back end with a real or a virtual
  // clock; nullptr when it did not start.
  frmMain* Start(bool realClock) {
    if (!ok_) return nullptr;
    midi_ = &VirtualMidi::Install(1, 1, realClock);
    dialogs_.languageAnswers = {2};
    SetDialogs(&dialogs_);
    RegisterDocumentWindows();
    RegisterEditorWindows();
    main_ = RunMain();
    return main_;
  }
  VirtualMidi& Midi() { return *midi_; }
  ScriptedDialogs& Dialogs() { return dialogs_; }
  // The next Open dialog chooses this file.
  void ChooseFile(const std::string& path) {
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = path;
    dialogs_.fileAnswers.push_back(answer);
  }

 private:
  QTemporaryDir winDir_, progDir_;
  bool ok_ = false;
  std::string folder_;
  ScriptedDialogs dialogs_;
  VirtualMidi* midi_ = nullptr;
  frmMain* main_ = nullptr;
};
