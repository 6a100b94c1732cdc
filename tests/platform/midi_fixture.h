// A fresh virtual MIDI back end for every test, on a temporary Windows
// folder (where the device locks live), shut down afterwards.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "platform/midi/virtual_midi.h"
#include "platform/midi/winmm.h"
#include "platform/winfolder.h"

class MidiTest : public ::testing::Test {
 protected:
  void SetUp() override { Reinstall(2, 1, false); }
  void TearDown() override {
    midiplatform::Shutdown();
    SetWinFolder("");
  }

  void Reinstall(int outputs, int inputs, bool realClock) {
    ASSERT_TRUE(tmp_.isValid());
    SetWinFolder(QFile::encodeName(tmp_.path()).toStdString());
    vm_ = &VirtualMidi::Install(outputs, inputs, realClock);
  }

  HMIDIOUT OpenOut(int deviceId = MIDI_MAPPER) {
    HMIDIOUT h = 0;
    EXPECT_EQ(midiOutOpen(&h, deviceId, 0, 0, 0), MMSYSERR_NOERROR);
    return h;
  }
  HMIDIIN OpenIn(UINT deviceId = 0) {
    HMIDIIN h = 0;
    EXPECT_EQ(midiInOpen(&h, deviceId, 0, 0, 0), MMSYSERR_NOERROR);
    return h;
  }

  // A long message sent the way the program sends one: prepare, send,
  // unprepare, each expected to answer 0 (the send `sent`).
  void SendLong(HMIDIOUT h, const std::string& bytes, MMRESULT sent = MMSYSERR_NOERROR) {
    MIDIHDR hdr;
    hdr.data = bytes;
    hdr.dwBufferLength = static_cast<DWORD>(bytes.size());
    EXPECT_EQ(midiOutPrepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), sent);
    EXPECT_EQ(midiOutUnprepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  }

  // Waits until done() holds, at most maxMs (the sender and the real clock
  // run on their own threads); returns done().
  template <typename Done>
  static bool WaitFor(Done done, int maxMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (!done() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
  }

  // F0, n - 2 data bytes counting up (7 bits), F7.
  static std::string SysEx(int n) {
    std::string s = Chr(0xF0);
    for (int i = 0; i < n - 2; ++i) s += Chr(i & 0x7F);
    return s + Chr(0xF7);
  }

  QTemporaryDir tmp_;
  VirtualMidi* vm_ = nullptr;
};
