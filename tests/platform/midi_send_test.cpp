// Sending through the paced queue: order, copies, wire form of short
// messages, chunks and their timing, header errors, draining at close, a
// lost send reported, global dumps that give way to newer ones.
#include <chrono>
#include <thread>

#include "tests/fixtures/midibytes.h"
#include "tests/platform/midi_fixture.h"

namespace {

using SendTest = MidiTest;

TEST_F(SendTest, ShortAndLongMessagesLeaveInCallOrderInChunksOfAtMost256) {
  const HMIDIOUT h = OpenOut();
  const std::string dump = SysEx(600);
  EXPECT_EQ(midiOutShortMsg(h, 0x643C90), MMSYSERR_NOERROR);
  SendLong(h, dump);
  EXPECT_EQ(midiOutShortMsg(h, 0x05C0), MMSYSERR_NOERROR);
  SendLong(h, SysEx(3));
  vm_->WaitIdle();

  EXPECT_EQ(vm_->WireBytes(), Chr(0x90) + Chr(0x3C) + Chr(0x64) + dump + Chr(0xC0) + Chr(0x05) + SysEx(3));
  std::vector<size_t> sizes;
  for (const VirtualMidi::WireChunk& chunk : vm_->Wire()) {
    sizes.push_back(chunk.bytes.size());
    EXPECT_EQ(chunk.port, 0u);
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{3, 256, 256, 88, 2, 3}));
}

TEST_F(SendTest, LongMessageBytesAreCopiedAtTheCall) {
  const HMIDIOUT h = OpenOut();
  MIDIHDR hdr;
  hdr.data = SysEx(1000) + "trailing bytes past the buffer length";
  hdr.dwBufferLength = 1000;
  ASSERT_EQ(midiOutPrepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags & MHDR_PREPARED, MHDR_PREPARED);
  ASSERT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags & MHDR_DONE, MHDR_DONE);
  // The header is the caller's again at once: change it, reuse it.
  hdr.data.assign(hdr.data.size(), 'X');
  EXPECT_EQ(midiOutUnprepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.dwFlags & MHDR_PREPARED, 0u);
  vm_->WaitIdle();

  EXPECT_EQ(vm_->WireBytes(), SysEx(1000));
  const std::vector<VirtualMidi::Call> sends = vm_->CallsNamed("midiOutLongMsg");
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].bytes, SysEx(1000));
  EXPECT_EQ(sends[0].args, (std::vector<int64_t>{h, kMidiHdrSize}));
}

TEST_F(SendTest, ShortMessagesPutOnlyTheBytesTheirStatusNeeds) {
  const HMIDIOUT h = OpenOut();
  const struct {
    DWORD msg;
    const char* wire;  // "" when refused
  } cases[] = {
      {0x643C90, "90 3C 64"}, {0x00403C81, "81 3C 40"}, {0x7F07A2, "A2 07 7F"}, {0x7F07B3, "B3 07 7F"},
      {0x4000E4, "E4 00 40"}, {0x7F05C5, "C5 05"},    {0x7F40D6, "D6 40"},    {0x7F05F2, "F2 05 7F"},
      {0x7F05F1, "F1 05"},    {0x7F05F3, "F3 05"},    {0x7F05F6, "F6"},       {0x7F05F8, "F8"},
      {0x7F05FE, "FE"},       {0x7F05FF, "FF"},       {0x643C, ""},           {0x7F05F0, ""},
      {0x7F05F7, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wire);
    vm_->ClearRecords();
    const MMRESULT r = midiOutShortMsg(h, c.msg);
    vm_->WaitIdle();
    const std::string wanted = c.wire;
    EXPECT_EQ(r, wanted.empty() ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR);
    EXPECT_EQ(Hex(vm_->WireBytes()), wanted);
    ASSERT_EQ(vm_->Calls().size(), 1u);
    EXPECT_EQ(Hex(vm_->Calls()[0].bytes), wanted);
  }
}

TEST_F(SendTest, WireRunsAt352MicrosecondsAByteOnTheVirtualClock) {
  const HMIDIOUT h = OpenOut();
  const int64_t t0 = vm_->NowUs();
  SendLong(h, SysEx(75000));  // one message, never refused for its size
  for (int i = 0; i < 3; ++i) EXPECT_EQ(midiOutShortMsg(h, 0x643C90), MMSYSERR_NOERROR);
  vm_->WaitIdle();

  const std::vector<VirtualMidi::WireChunk> wire = vm_->Wire();
  ASSERT_EQ(wire.size(), 293u + 3u);  // 292 full chunks, 248 bytes, three notes
  int64_t expectedStart = wire.front().startUs;
  EXPECT_GE(expectedStart, t0);
  for (const VirtualMidi::WireChunk& chunk : wire) {
    EXPECT_LE(chunk.bytes.size(), 256u);
    EXPECT_EQ(chunk.startUs, expectedStart);  // back to back, no gap, no overlap
    EXPECT_EQ(chunk.endUs - chunk.startUs, 352 * static_cast<int64_t>(chunk.bytes.size()));
    expectedStart = chunk.endUs;
  }
  EXPECT_EQ(wire.back().endUs - wire.front().startUs, 352 * (75000 + 9));
  EXPECT_EQ(vm_->NowUs(), wire.back().endUs);  // idle means the last byte has left
  EXPECT_EQ(vm_->WireBytes(), SysEx(75000) + Chr(0x90) + Chr(0x3C) + Chr(0x64) + Chr(0x90) + Chr(0x3C) +
                                  Chr(0x64) + Chr(0x90) + Chr(0x3C) + Chr(0x64));
}

TEST_F(SendTest, HeaderErrorsSendNothing) {
  const HMIDIOUT h = OpenOut();
  MIDIHDR hdr;
  hdr.data = SysEx(10);
  hdr.dwBufferLength = 10;
  EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiOutPrepareHeader(h, &hdr, kMidiHdrSize - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutPrepareHeader(h, nullptr, kMidiHdrSize), MMSYSERR_INVALPARAM);
  ASSERT_EQ(midiOutPrepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  hdr.dwBufferLength = 11;  // more than the data hold
  EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutLongMsg(h, nullptr, kMidiHdrSize), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutUnprepareHeader(h, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(h, &hdr, kMidiHdrSize), MIDIERR_UNPREPARED);
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), "");
}

TEST_F(SendTest, CloseDrainsTheQueueOnTheRealClock) {
  Reinstall(1, 1, true);
  const HMIDIOUT h = OpenOut();
  const std::string dump = SysEx(1500);  // 528 ms on the wire
  const auto t0 = std::chrono::steady_clock::now();
  SendLong(h, dump);  // unprepare answers 0 while the dump is still going out
  EXPECT_EQ(midiOutShortMsg(h, 0x7BB0), MMSYSERR_NOERROR);
  const auto queued = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(queued, std::chrono::milliseconds(200));  // the calls return at once

  EXPECT_EQ(midiOutClose(h), MMSYSERR_NOERROR);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(520));
  EXPECT_EQ(vm_->WireBytes(), dump + Chr(0xB0) + Chr(0x7B) + Chr(0x00));
  const std::vector<VirtualMidi::WireChunk> wire = vm_->Wire();
  ASSERT_FALSE(wire.empty());
  // Real sleeps are late by a little, never early.
  for (size_t i = 1; i < wire.size(); ++i) EXPECT_GE(wire[i].startUs, wire[i - 1].endUs);
}

TEST_F(SendTest, APortThatGoesAwayAndComesBackIsFollowedAndTheLossIsReportedOnce) {
  const HMIDIOUT h = OpenOut();
  vm_->SetDeviceCounts(0, 0);  // unplugged: the bytes are lost on the way
  EXPECT_EQ(midiOutShortMsg(h, 0x643C90), MMSYSERR_NOERROR);
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), "");
  vm_->SetDeviceCounts(2, 1);  // plugged back in
  // The next send tells of the loss, and still goes out whole; the one
  // after it answers 0 again.
  SendLong(h, SysEx(5), MMSYSERR_ERROR);
  EXPECT_EQ(midiOutShortMsg(h, 0x003C80), MMSYSERR_NOERROR);
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), SysEx(5) + Chr(0x80) + Chr(0x3C) + Chr(0x00));
}

// A global dump on global channel n, its last data byte marking it.
std::string GlobalDump(int channel, int mark, int size = 512) {
  std::string dump = Chr(0xF0) + Chr(0x42) + Chr(0x30 | channel) + Chr(0x4D) + Chr(0x51);
  for (int i = 0; i < size; ++i) dump += Chr(i & 0x7F);
  return dump + Chr(mark) + Chr(0xF7);
}

TEST_F(SendTest, AGlobalDumpStillWaitingGivesWayToANewerOneOfItsChannel) {
  Reinstall(1, 1, true);
  const HMIDIOUT h = OpenOut();
  // The first holds the wire for about a second, however slow this machine.
  const std::string first = GlobalDump(0, 1, 3000);
  SendLong(h, first);
  // Once the first is on the wire, a slider's further dumps come faster
  // than the wire takes them.
  ASSERT_TRUE(WaitFor([&] { return !vm_->Wire().empty(); }, 500));
  SendLong(h, GlobalDump(0, 2));
  SendLong(h, GlobalDump(1, 3));  // another global channel: kept
  SendLong(h, GlobalDump(0, 4));
  EXPECT_EQ(midiOutShortMsg(h, 0x7F05C0), MMSYSERR_NOERROR);
  SendLong(h, GlobalDump(0, 5));
  SendLong(h, GlobalDump(0, 6));
  const std::string dump = SysEx(40);  // any other SysEx: never dropped
  SendLong(h, dump);
  SendLong(h, dump);
  vm_->WaitIdle();

  // The first and the last of the burst, and everything else, in call order.
  EXPECT_EQ(vm_->WireBytes(),
            first + GlobalDump(1, 3) + Chr(0xC0) + Chr(0x05) + GlobalDump(0, 6) + dump + dump);
  // Every call answered 0 and was recorded.
  const std::vector<VirtualMidi::Call> longs = vm_->CallsNamed("midiOutLongMsg");
  ASSERT_EQ(longs.size(), 8u);
  for (const VirtualMidi::Call& call : longs) EXPECT_EQ(call.result, MMSYSERR_NOERROR);
  EXPECT_EQ(longs[3].bytes, GlobalDump(0, 4));
}

TEST_F(SendTest, ADumpQueuedNearTheEndOfTheOneOnTheWireCanStillGiveWay) {
  Reinstall(1, 1, true);
  const HMIDIOUT h = OpenOut();
  // About 0.34 s on the wire.
  const std::string first = GlobalDump(0, 1, 960);
  SendLong(h, first);
  ASSERT_TRUE(WaitFor([&] { return !vm_->Wire().empty(); }, 500));
  // A second dump comes 200 ms before the first has left, a third 100 ms
  // before (wide of the sender's few milliseconds, so a busy machine's late
  // wake-up does not matter): the second still waits in the queue and gives
  // way to the third,
  // so the instrument holds the last value two dump times after the last
  // change at most.
  const int64_t endUs = vm_->Wire().front().startUs + static_cast<int64_t>(first.size()) * 352;
  auto waitUntil = [&](int64_t us) {
    while (vm_->NowUs() < us) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  waitUntil(endUs - 200000);
  SendLong(h, GlobalDump(0, 2));
  waitUntil(endUs - 100000);
  SendLong(h, GlobalDump(0, 3));
  vm_->WaitIdle();
  EXPECT_EQ(vm_->WireBytes(), first + GlobalDump(0, 3));
}

}  // namespace
