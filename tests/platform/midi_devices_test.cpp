// Devices, handles and their owners: device ids, errors, forced results,
// the lock that keeps one owner per device, and handles borrowed from
// another process.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <chrono>
#include <thread>

#include "tests/platform/midi_fixture.h"

namespace {

using DeviceTest = MidiTest;

TEST_F(DeviceTest, DeviceIdsCountAndNameTheExternalPorts) {
  EXPECT_EQ(midiOutGetNumDevs(), 2u);
  EXPECT_EQ(midiInGetNumDevs(), 1u);

  MIDIINCAPS caps;
  EXPECT_EQ(midiInGetDevCapsA(0, &caps, kMidiInCapsSize), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Virtual In 0");
  EXPECT_EQ(midiInGetDevCapsA(1, &caps, kMidiInCapsSize), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInGetDevCapsA(0, nullptr, kMidiInCapsSize), MMSYSERR_INVALPARAM);

  // The mapper is the first output: opening it holds device 0.
  const HMIDIOUT mapper = OpenOut(MIDI_MAPPER);
  EXPECT_NE(mapper, 0u);
  HMIDIOUT h = 0;
  EXPECT_EQ(midiOutOpen(&h, 0, 0, 0, 0), MMSYSERR_ALLOCATED);
  const HMIDIOUT second = OpenOut(1);
  EXPECT_NE(second, mapper);
  EXPECT_EQ(midiOutOpen(&h, 2, 0, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutOpen(&h, -2, 0, 0, 0), MMSYSERR_BADDEVICEID);
  HMIDIIN in = 0;
  EXPECT_EQ(midiInOpen(&in, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_NE(OpenIn(0), 0u);

  EXPECT_EQ(midiOutShortMsg(second, 0x643C91), MMSYSERR_NOERROR);
  vm_->WaitIdle();
  ASSERT_EQ(vm_->Wire().size(), 1u);
  EXPECT_EQ(vm_->Wire()[0].port, 1u);
}

TEST_F(DeviceTest, AMachineWithoutPortsHasNoDevices) {
  Reinstall(0, 0, false);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  HMIDIOUT out = 0;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_BADDEVICEID);
  MIDIINCAPS caps;
  EXPECT_EQ(midiInGetDevCapsA(0, &caps, kMidiInCapsSize), MMSYSERR_BADDEVICEID);
}

TEST_F(DeviceTest, HandlesNeitherOpenHereNorResolvableAreRefused) {
  const HMIDIOUT out = OpenOut();
  const HMIDIIN in = OpenIn();
  MIDIHDR hdr;
  for (const HMIDIOUT bad : {0u, 1u, 12345u, in, 0xFFFFFFFFu}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(midiOutShortMsg(bad, 0x643C90), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutPrepareHeader(bad, &hdr, kMidiHdrSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(midiOutClose(bad), MMSYSERR_INVALHANDLE);
  }
  EXPECT_EQ(midiInStart(out), MMSYSERR_INVALHANDLE);

  // A handle closed here is dead here, whether or not its port is still
  // there.
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInStart(in), MMSYSERR_INVALHANDLE);
  // Opened again, it is alive again.
  EXPECT_EQ(OpenOut(), out);
  EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
}

TEST_F(DeviceTest, ASecondOpenInThisProcessIsAllocatedUntilTheClose) {
  const HMIDIOUT out = OpenOut();
  const HMIDIIN in = OpenIn();
  HMIDIOUT out2 = 0;
  HMIDIIN in2 = 0;
  EXPECT_EQ(midiOutOpen(&out2, MIDI_MAPPER, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiInOpen(&in2, 0, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(WinPath("midi-out-Virtual_Out_0.lock"))));
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(WinPath("midi-in-Virtual_In_0.lock"))));

  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutOpen(&out2, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInOpen(&in2, 0, 0, 0, 0), MMSYSERR_NOERROR);
}

TEST_F(DeviceTest, ALockHeldForAMomentIsWaitedForButNotOneHeldLonger) {
  // A sibling looking the handles up holds a device's lock for a moment.
  HMIDIOUT out = OpenOut();
  ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  const std::string path = WinPath("midi-out-Virtual_Out_0.lock");
  for (const int heldMs : {20, 300}) {
    SCOPED_TRACE(heldMs);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
      close(fd);
    });
    const auto t0 = std::chrono::steady_clock::now();
    const MMRESULT r = midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0);
    const auto waited = std::chrono::steady_clock::now() - t0;
    release.join();
    if (heldMs < 40) {
      EXPECT_EQ(r, MMSYSERR_NOERROR);
      EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    } else {
      EXPECT_EQ(r, MMSYSERR_ALLOCATED);
      EXPECT_GE(waited, std::chrono::milliseconds(45));
    }
  }
}

TEST_F(DeviceTest, ForcedResultsAnswerWithoutActing) {
  // Held elsewhere: the open answers 4 and takes nothing.
  vm_->SetResult("midiOutOpen", MMSYSERR_ALLOCATED);
  HMIDIOUT h = 0;
  EXPECT_EQ(midiOutOpen(&h, MIDI_MAPPER, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(h, 0u);
  h = OpenOut();  // the forced result was for one call only

  // A send error: the first long message answers 1 and sends nothing; the
  // prepare and unprepare around it still act.
  vm_->SetResult("midiOutLongMsg", MMSYSERR_ERROR);
  MIDIHDR hdr;
  hdr.data = SysEx(8);
  hdr.dwBufferLength = 8;
  EXPECT_EQ(midiOutPrepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MMSYSERR_ERROR);
  EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutUnprepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);

  // No device, for every later call until cleared.
  vm_->SetResult("midiOutGetNumDevs", 0, -1);
  vm_->SetResult("midiInGetDevCapsA", MMSYSERR_NODRIVER, -1);
  MIDIINCAPS caps;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiInGetDevCapsA(0, &caps, kMidiInCapsSize), MMSYSERR_NODRIVER);
  }
  vm_->ClearResults();
  EXPECT_EQ(midiOutGetNumDevs(), 2u);

  // Two short messages forced to fail, the third goes out.
  vm_->SetResult("midiOutShortMsg", MMSYSERR_INVALHANDLE, 2);
  EXPECT_EQ(midiOutShortMsg(h, 0x7F05C1), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutShortMsg(h, 0x7F05C2), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutShortMsg(h, 0x7F05C3), MMSYSERR_NOERROR);
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), SysEx(8) + Chr(0xC3) + Chr(0x05));

  // Every call is recorded with what it answered.
  const std::vector<VirtualMidi::Call> shorts = vm_->CallsNamed("midiOutShortMsg");
  ASSERT_EQ(shorts.size(), 3u);
  EXPECT_EQ(shorts[0].result, MMSYSERR_INVALHANDLE);
  EXPECT_EQ(shorts[2].result, MMSYSERR_NOERROR);
  EXPECT_EQ(shorts[2].args, (std::vector<int64_t>{h, 0x7F05C3}));
  EXPECT_EQ(shorts[2].bytes, Chr(0xC3) + Chr(0x05));
  const std::vector<VirtualMidi::Call> opens = vm_->CallsNamed("midiOutOpen");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1].args, (std::vector<int64_t>{MIDI_MAPPER, 0, 0, 0, h}));
}

// Another process on the same Windows folder: a forked child that opens the
// mapper and the input, tells their handles through a pipe and holds them
// until the parent writes a byte back (or until it is killed).
class ChildOwner {
 public:
  ChildOwner() {
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      HMIDIOUT handles[2] = {0, 0};
      const bool ok = midiOutOpen(&handles[0], MIDI_MAPPER, 0, 0, 0) == 0 && midiInOpen(&handles[1], 0, 0, 0, 0) == 0;
      if (!ok) handles[0] = handles[1] = 0;
      if (write(up[1], handles, sizeof handles) != sizeof handles) _exit(2);
      char c;
      (void)!read(down[0], &c, 1);
      _exit(0);  // no close: the system frees the locks
    }
    close(up[1]);
    close(down[0]);
    toChild_ = down[1];
    HMIDIOUT handles[2] = {0, 0};
    if (read(up[0], handles, sizeof handles) == sizeof handles) {
      out_ = handles[0];
      in_ = handles[1];
    }
    close(up[0]);
  }
  ~ChildOwner() { End(); }
  void End() {
    if (pid_ <= 0) return;
    (void)!write(toChild_, "x", 1);
    close(toChild_);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  HMIDIOUT out_ = 0;
  HMIDIIN in_ = 0;

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
};

TEST_F(DeviceTest, ADeviceHeldByAnotherProcessIsAllocatedAndItsHandlesCanBeBorrowed) {
  // Nothing is queued yet, so no sender thread runs across the fork.
  ChildOwner child;
  ASSERT_NE(child.out_, 0u);
  ASSERT_NE(child.in_, 0u);

  HMIDIOUT out = 0;
  HMIDIIN in = 0;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_ALLOCATED);

  // The published handles work here through this process's own connection.
  EXPECT_EQ(midiOutShortMsg(child.out_, 0x643C90), MMSYSERR_NOERROR);
  SendLong(child.out_, SysEx(300));
  EXPECT_EQ(midiConnect(child.in_, child.out_, nullptr), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInStart(child.in_), MMSYSERR_NOERROR);
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), Chr(0x90) + Chr(0x3C) + Chr(0x64) + SysEx(300));
  EXPECT_EQ(vm_->ThruConnections(), (std::vector<std::pair<int, int>>{{0, 0}}));

  // Closing a borrowed handle drops only the local connection: the owner
  // still holds the device.
  EXPECT_EQ(midiOutClose(child.out_), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(child.in_), MMSYSERR_NOERROR);
  EXPECT_TRUE(vm_->ThruConnections().empty());
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_ALLOCATED);

  // The owner ends without closing: its locks go with it.
  child.End();
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(out, child.out_);  // the same port has the same handle in every process
  EXPECT_EQ(in, child.in_);
}

}  // namespace
