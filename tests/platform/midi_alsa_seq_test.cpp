// The ALSA back end against a stand-in that behaves as the kernel's
// sequencer does: the patch that opens a hardware port, the port chosen and
// remembered, a hand patch followed, an unplug and a replug, the pacing
// margin against an interface's buffer, thru lifted during a SysEx (and the
// instrument brought to the player's state after it, before thru is back,
// also when the dump is cut off; nothing left sounding around thru's
// return) and a thru left behind by a crash.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include <QDir>
#include <QFile>

#include "platform/midi/midi_backend.h"
#include "tests/fixtures/fakeseq.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/seqtap.h"
#include "tests/fixtures/synthstate.h"
#include "tests/fixtures/thrucases.h"
#include "tests/platform/midi_fixture.h"

namespace {

using Addr = FakeSequencer::SeqAddr;

// A dump of 1000 bytes on a fresh stand-in with thru on, its back end
// calling the sequencer through a tap: before is played with thru in place,
// during at the dump's second chunk, and at[n] right after the n-th call the
// sender makes once the F7 is out (0: the F7's own call).
struct TappedDump {
  std::string before;
  std::string received;            // what reached the synth
  std::vector<std::string> calls;  // the sender's calls from the F7 on
  size_t played = 0;               // how many of at were played
  // What reached the synth after the dump.
  std::string After() const { return Mid(received, static_cast<int>(before.size()) + 1000 + 1); }
};

class AlsaSeqTest : public MidiTest {
 protected:
  // A program start: the back end over the stand-in, on its clock.
  void Start() { seq_.InstallBackend(); }
  // The program's end, and what a new start then finds.
  void Restart() {
    midiplatform::Shutdown();
    Start();
  }
  Addr ProgramOut() const { return seq_.Find("Brenvolta", "Brenvolta Out"); }
  void WaitIdle() { midiplatform::internal::WaitSenderIdle(); }

  std::string Remembered() const { return ReadFile("midi-out.port"); }
  std::string ReadFile(const std::string& name) const {
    QFile f(QString::fromStdString(WinPath(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("(none)");
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    QFile f(QString::fromStdString(WinPath(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  // An input-only interface: the first input port, and no output.
  Addr AddKeyboard() { return AddKeyboard(seq_); }
  static Addr AddKeyboard(FakeSequencer& seq) {
    return seq.AddPort(16, "Keyboard", 0, "Keyboard MIDI 1", FakeSequencer::kReadCaps,
                       FakeSequencer::kHardwareType);
  }
  // A program start on seq whose back end calls the sequencer through a
  // tap running hook after each call.
  static void StartTapped(FakeSequencer& seq, SeqTap::Hook hook,
                          int64_t usPerByte = midiplatform::kWireUsPerByte) {
    midiplatform::internal::InstallBackend(midiplatform::MakeAlsaBackend(
        std::make_unique<SeqTap>(seq.NewClient(), std::move(hook)), seq.Clock(), usPerByte));
  }

  static TappedDump RunTappedDump(const std::string& before, const std::string& during,
                                  const std::map<int, std::string>& at);

  static std::string Note(int note) { return Chr(0x90) + Chr(note) + Chr(0x64); }
  static std::string Msg(int status, int data1, int data2) { return Chr(status) + Chr(data1) + Chr(data2); }
  static DWORD NoteMsg(int note) { return 0x640090u | static_cast<DWORD>(note) << 8; }

  FakeSequencer seq_;
};

TEST_F(AlsaSeqTest, AHardwarePortReceivesOnlyThroughTheProgramsOwnPatch) {
  const Addr synth = seq_.AddInterface(1, "UM-ONE");
  Start();
  // Sent straight to the port, with nothing subscribed to it, an event is
  // refused: the port's device is not open.
  auto other = seq_.NewClient();
  ASSERT_EQ(other->Open(), 0);
  const int port = other->CreatePort("Out", FakeSequencer::kReadCaps, 0);
  snd_seq_event_t ev;
  snd_seq_ev_clear(&ev);
  snd_seq_ev_set_source(&ev, port);
  snd_seq_ev_set_dest(&ev, synth.client, synth.port);
  snd_seq_ev_set_direct(&ev);
  snd_seq_ev_set_noteon(&ev, 0, 60, 100);
  EXPECT_EQ(other->OutputDirect(&ev), -ENODEV);

  EXPECT_EQ(midiOutGetNumDevs(), 1u);
  EXPECT_TRUE(seq_.Destinations(ProgramOut()).empty());
  const HMIDIOUT out = OpenOut();
  EXPECT_EQ(out & 0xFFFF, 20u << 8);  // the handle names the port it stands for
  EXPECT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{synth});
  EXPECT_EQ(Remembered(), "UM-ONE:UM-ONE MIDI 1\n");

  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(60)), MMSYSERR_NOERROR);
  SendLong(out, SysEx(1000));
  WaitIdle();
  EXPECT_EQ(seq_.Received(synth), Note(60) + SysEx(1000));
  EXPECT_EQ(seq_.Dropped(synth), 0u);

  // The close removes the program's patch; the other client's stays.
  ASSERT_EQ(seq_.Patch({other->ClientId(), port}, synth), 0);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_TRUE(seq_.Destinations(ProgramOut()).empty());
  EXPECT_TRUE(seq_.Patched({other->ClientId(), port}, synth));
}

TEST_F(AlsaSeqTest, TheMapperTakesThePortUsedLastOrElseTheFirstThatCanPlay) {
  // Listed in client order: an unused port, a MIDI 2.0 device (its
  // endpoint port and one group port), an interface; the system and Midi
  // Through clients are never devices.
  seq_.AddInterface(0, "Audio Card", true, midiplatform::kSeqPortCapInactive);
  const unsigned both = FakeSequencer::kReadCaps | FakeSequencer::kWriteCaps;
  const unsigned hw = FakeSequencer::kHardwareType;
  seq_.AddPort(20, "Keystation 2", 0, "MIDI 2.0", both | midiplatform::kSeqPortCapUmpEndpoint, hw);
  const Addr group = seq_.AddPort(20, "Keystation 2", 1, "Group 1 (Keys)", both, hw);
  const Addr synth = seq_.AddInterface(2, "UM-ONE");

  const struct {
    const char* remembered;  // the file's bytes, nullptr: no file
    Addr port;
  } cases[] = {
      {nullptr, group},
      {"", group},
      {"Gone:Gone MIDI 1\n", group},
      {"Keystation 2:MIDI 2.0\n", group},  // never the endpoint
      {"UM-ONE:UM-ONE MIDI 1\n", synth},
      {"UM-ONE:UM-ONE MIDI 1", synth},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remembered ? c.remembered : "(no file)");
    QFile::remove(QString::fromStdString(WinPath("midi-out.port")));
    if (c.remembered) WriteFile("midi-out.port", c.remembered);
    Restart();
    EXPECT_EQ(midiOutGetNumDevs(), 2u);
    EXPECT_EQ(midiInGetNumDevs(), 2u);
    const HMIDIOUT out = OpenOut();
    EXPECT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{c.port});
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  }
}

TEST_F(AlsaSeqTest, APatchByHandIsFollowedAndRememberedAcrossARestart) {
  const Addr first = seq_.AddInterface(1, "UM-ONE");
  const Addr second = seq_.AddInterface(2, "MidiSport");
  Start();
  HMIDIOUT out = OpenOut();
  ASSERT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{first});

  // The user patches the program's output to the other interface as well.
  ASSERT_EQ(seq_.Patch(ProgramOut(), second), 0);
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(60)), MMSYSERR_NOERROR);
  WaitIdle();
  EXPECT_EQ(seq_.Received(first), Note(60));
  EXPECT_EQ(seq_.Received(second), Note(60));
  EXPECT_EQ(Remembered(), "MidiSport:MidiSport MIDI 1\n");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{second});  // the user's, not ours

  // The next start patches the port the user chose.
  Restart();
  out = OpenOut();
  EXPECT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{second});
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(62)), MMSYSERR_NOERROR);
  WaitIdle();
  EXPECT_EQ(seq_.Received(first), Note(60));
  EXPECT_EQ(seq_.Received(second), Note(60) + Note(62));

  // A patch made without any send afterwards is remembered at the close.
  ASSERT_EQ(seq_.Patch(ProgramOut(), first), 0);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(Remembered(), "UM-ONE:UM-ONE MIDI 1\n");
}

TEST_F(AlsaSeqTest, AReplugIsPatchedAgainAndTheLostMessageIsReportedOnce) {
  const Addr synth = seq_.AddInterface(1, "UM-ONE");
  Start();
  const HMIDIOUT out = OpenOut();

  seq_.Unplug(synth.client);
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(60)), MMSYSERR_NOERROR);  // queued; lost on the way
  WaitIdle();
  // Plugged back in, as another card.
  const Addr back = seq_.AddInterface(3, "UM-ONE");
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(62)), MMSYSERR_ERROR);  // tells of the lost one, and goes
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(64)), MMSYSERR_NOERROR);
  WaitIdle();
  EXPECT_EQ(seq_.Received(back), Note(62) + Note(64));
  EXPECT_EQ(seq_.Destinations(ProgramOut()), std::vector<Addr>{back});
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_TRUE(seq_.Destinations(ProgramOut()).empty());
}

TEST_F(AlsaSeqTest, AnUnplugMidDumpSendsNoTailAndTheNextCallReportsIt) {
  const Addr synth = seq_.AddInterface(1, "UM-ONE");
  Start();
  const HMIDIOUT out = OpenOut();
  // The cable comes out after the second chunk and goes straight back in,
  // under the same address: the tail must not follow without its head.
  int chunks = 0;
  std::string head;
  seq_.SetDeliverHook([&](Addr port, const std::string&) {
    if (port == synth && ++chunks == 2) {
      head = seq_.Received(synth);
      seq_.Unplug(synth.client);
      seq_.AddInterface(1, "UM-ONE");
    }
  });
  SendLong(out, SysEx(2000));
  WaitIdle();
  seq_.SetDeliverHook(nullptr);
  EXPECT_EQ(head, Left(SysEx(2000), 512));
  EXPECT_EQ(seq_.Received(synth), "");  // nothing more of the dump
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(60)), MMSYSERR_ERROR);
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(62)), MMSYSERR_NOERROR);
  WaitIdle();
  EXPECT_EQ(seq_.Received(synth), Note(60) + Note(62));  // the new device's bytes
}

TEST_F(AlsaSeqTest, APortHeldByAnotherProgramIsAllocated) {
  // The subscription that would open the device is refused: the kernel's
  // MIDI ports answer -EAGAIN, other drivers -EBUSY. Any other refusal is
  // an error.
  const struct {
    int refusal;
    MMRESULT result;
  } cases[] = {{-EAGAIN, MMSYSERR_ALLOCATED}, {-EBUSY, MMSYSERR_ALLOCATED}, {-ENOMEM, MMSYSERR_ERROR}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusal);
    FakeSequencer seq;
    const Addr synth = seq.AddInterface(1, "UM-ONE");
    seq.SetHeld(synth, true, c.refusal);
    seq.InstallBackend();
    HMIDIOUT out = 0;
    EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), c.result);
    EXPECT_EQ(out, 0u);
    seq.SetHeld(synth, false);
    OpenOut();  // the device lock was given back
    EXPECT_EQ(seq.Destinations(seq.Find("Brenvolta", "Brenvolta Out")), std::vector<Addr>{synth});
    midiplatform::Shutdown();
  }
}

TEST_F(AlsaSeqTest, TheMarginOfThePaceKeepsASlowInterfaceFromDroppingBytes) {
  // An interface that sends two stop bits drains 31,250 / 11 bytes a second.
  const struct {
    int64_t usPerByte;
    bool loses;
  } cases[] = {{352, false}, {320, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.usPerByte);
    FakeSequencer seq;
    seq.SetDrainRate(31250.0 / 11);
    const Addr synth = seq.AddInterface(1, "UM-ONE");
    seq.InstallBackend(c.usPerByte);
    const HMIDIOUT out = OpenOut();
    SendLong(out, SysEx(75000));
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    if (c.loses) {
      EXPECT_GT(seq.Dropped(synth), 0u);
    } else {
      EXPECT_EQ(seq.Dropped(synth), 0u);
      EXPECT_EQ(seq.Received(synth), SysEx(75000));
    }
    midiplatform::Shutdown();
  }
}

TEST_F(AlsaSeqTest, ThruIsLiftedWhileASysExIsOnTheWireAndPutBackAfterIt) {
  const Addr keys = AddKeyboard();
  const Addr synth = seq_.AddInterface(1, "Synth", false);
  Start();
  const HMIDIOUT out = OpenOut();
  const HMIDIIN in = OpenIn();
  ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  ASSERT_TRUE(seq_.Patched(keys, synth));

  // A key played while the dump goes out.
  bool patchedDuring = true;
  int chunks = 0;
  seq_.SetDeliverHook([&](Addr port, const std::string&) {
    if (port == synth && ++chunks == 2) {
      patchedDuring = seq_.Patched(keys, synth);
      seq_.Play(keys, Note(60));
    }
  });
  SendLong(out, SysEx(1000));
  WaitIdle();
  seq_.SetDeliverHook(nullptr);
  EXPECT_FALSE(patchedDuring);
  EXPECT_TRUE(seq_.Patched(keys, synth));
  EXPECT_EQ(seq_.Received(synth), SysEx(1000));

  // Between messages thru plays; a short message does not lift it.
  seq_.Play(keys, Note(62));
  EXPECT_EQ(midiOutShortMsg(out, NoteMsg(64)), MMSYSERR_NOERROR);
  WaitIdle();
  EXPECT_EQ(seq_.Received(synth), SysEx(1000) + Note(62) + Note(64));
  EXPECT_TRUE(seq_.Patched(keys, synth));

  // Thru switched off while a dump has it lifted stays off: the dump's
  // first chunk waits on the wire until the switch is made.
  std::atomic<int> stage{0};
  seq_.SetDeliverHook([&](Addr port, const std::string&) {
    if (port != synth || stage != 0) return;
    stage = 1;
    WaitFor([&] { return stage == 2; });
  });
  SendLong(out, SysEx(600));
  ASSERT_TRUE(WaitFor([&] { return stage == 1; }));
  EXPECT_EQ(midiDisconnect(in, out, nullptr), MMSYSERR_NOERROR);
  stage = 2;
  WaitIdle();
  seq_.SetDeliverHook(nullptr);
  EXPECT_FALSE(seq_.Patched(keys, synth));
  EXPECT_EQ(seq_.Received(synth), SysEx(1000) + Note(62) + Note(64) + SysEx(600));
}

TEST_F(AlsaSeqTest, AKeyLetGoDuringADumpIsLetGoRightAfterItsF7) {
  const Addr keys = AddKeyboard();
  const Addr synth = seq_.AddInterface(1, "Synth", false);
  Start();
  const HMIDIOUT out = OpenOut();
  const HMIDIIN in = OpenIn();
  ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);

  // Down before the dump: key 60 and the pedal on channel 1, key 67 on
  // channel 2.
  const std::string before = Msg(0x90, 60, 0x64) + Msg(0xB0, 64, 0x7F) + Msg(0x91, 67, 0x50);
  seq_.Play(keys, before);
  // While it is on the wire: 60 let go, 61 played whole and 63 pressed,
  // a pitch bend, the pedal let go halfway, 67 let go by a note on of
  // velocity 0.
  int chunks = 0;
  seq_.SetDeliverHook([&](Addr port, const std::string&) {
    if (port != synth || ++chunks != 2) return;
    seq_.Play(keys, Msg(0x80, 60, 0x40) + Msg(0x90, 61, 0x64) + Msg(0x90, 63, 0x64) + Msg(0x80, 61, 0x40) +
                        Msg(0xE0, 0, 0x50) + Msg(0xB0, 64, 0x20) + Msg(0x91, 67, 0));
  });
  SendLong(out, SysEx(1000));
  EXPECT_EQ(midiOutShortMsg(out, 0x643090), MMSYSERR_NOERROR);  // queued behind the dump
  WaitIdle();
  seq_.SetDeliverHook(nullptr);
  // Right after the F7, in the order they were played, as the player left
  // them, before the next message; no note begun during the dump comes late.
  EXPECT_EQ(Hex(Mid(seq_.Received(synth), static_cast<int>(before.size()) + 1000 + 1)),
            Hex(Msg(0x80, 60, 0x40) + Msg(0xE0, 0, 0x50) + Msg(0xB0, 64, 0x20) + Msg(0x91, 67, 0) +
                Msg(0x90, 0x30, 0x64)));
  EXPECT_TRUE(Left(seq_.Received(synth), static_cast<int>(before.size()) + 1000) == before + SysEx(1000));
  // Thru is back, and the input no longer read.
  seq_.Play(keys, Msg(0x90, 62, 0x64));
  EXPECT_EQ(Right(seq_.Received(synth), 3), Msg(0x90, 62, 0x64));
  EXPECT_EQ(seq_.Destinations(keys), std::vector<Addr>{synth});
}

TappedDump AlsaSeqTest::RunTappedDump(const std::string& before, const std::string& during,
                                       const std::map<int, std::string>& at) {
  TappedDump run;
  run.before = before;
  FakeSequencer seq;
  const Addr keys = AddKeyboard(seq);
  const Addr synth = seq.AddInterface(1, "Synth", false);
  std::atomic<int> sysExChunks{0};
  std::atomic<int> afterF7{-1};  // the sender's calls since the F7's, -1 before it
  std::thread::id sender;
  StartTapped(seq, [&](const char* call, const snd_seq_event_t* sent) {
    if (afterF7 < 0) {
      if (sent && sent->type == SND_SEQ_EVENT_SYSEX && ++sysExChunks == 2) seq.Play(keys, during);
      if (!SeqTap::EndsDump(sent)) return;
      sender = std::this_thread::get_id();
    } else if (std::this_thread::get_id() != sender) {
      return;  // the test's own calls, once the sender is done
    }
    const int n = ++afterF7;
    run.calls.push_back(call);
    auto it = at.find(n);
    if (it == at.end()) return;
    seq.Play(keys, it->second);
    ++run.played;
  });
  // The tap's state ends with this call: no ASSERT before the shutdown.
  HMIDIOUT out = 0;
  HMIDIIN in = 0;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  seq.Play(keys, before);
  MIDIHDR hdr;
  hdr.data = SysEx(1000);
  hdr.dwBufferLength = 1000;
  EXPECT_EQ(midiOutPrepareHeader(out, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(out, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutUnprepareHeader(out, &hdr, kMidiHdrSize), MMSYSERR_NOERROR);
  midiplatform::internal::WaitSenderIdle();
  midiplatform::Shutdown();
  run.received = seq.Received(synth);
  EXPECT_TRUE(Left(run.received, static_cast<int>(before.size()) + 1000) == before + SysEx(1000));
  return run;
}

std::string Names(const std::vector<std::string>& calls) {
  std::string names;
  for (const std::string& call : calls) names += call + " ";
  return names;
}

// The moments of the lift's end: what is owed goes out while thru is still
// lifted, again for what the input played meanwhile, then thru is put back,
// then what lets go of what was played in that instant is passed on. A key
// let go during the dump is pressed again after each call the back end
// makes once the F7 is out, one moment per dump. Whatever the moment, the
// synth sounds nothing the player does not hold: pressed again before its
// note off went out, or once thru is back, the key sounds; in between it
// may not, as a note begun during the dump does not, nor its pedal.
TEST_F(AlsaSeqTest, AKeyPressedAgainAsADumpEndsIsNotCutByItsOwnNoteOff) {
  // Down before the dump: 60, 64 and the pedal on channel 1, 62 on channel
  // 2. During it: 60 and 64 let go, the pedal let up. As it ends: 60 and
  // the pedal down again.
  const std::string before =
      Msg(0x90, 60, 0x64) + Msg(0x90, 64, 0x64) + Msg(0xB0, 64, 0x7F) + Msg(0x91, 62, 0x64);
  const std::string during = Msg(0x80, 60, 0x40) + Msg(0x80, 64, 0x40) + Msg(0xB0, 64, 0);
  const std::string again = Msg(0x90, 60, 0x50) + Msg(0xB0, 64, 0x7F);
  const SynthState held = SynthState::After(before + during + again);
  ASSERT_EQ(held.Text(), "keys 1:60 2:62, pedals 1");
  std::vector<std::string> calls;  // as the first dump made them
  std::vector<std::string> states;  // what the synth ended with, a run of moments each
  for (int moment = 0;; ++moment) {
    const TappedDump run = RunTappedDump(before, during, {{moment, again}});
    if (moment == 0) calls = run.calls;
    if (!run.played) break;  // every moment was tried
    SCOPED_TRACE("pressed again after call " + std::to_string(moment) + " from the F7: " + run.calls[moment]);
    const std::string synth = SynthState::After(run.received).Text();
    if (states.empty() || states.back() != synth) states.push_back(synth);
    EXPECT_TRUE(synth == held.Text() || synth == "keys 2:62, pedals" || synth == "keys 2:62, pedals 1")
        << synth << " after the dump: " << Hex(run.After());
  }
  // Read with what was owed, the key sounds on; read after its note off
  // went out, it is as one begun during the dump, and the pedal is pressed
  // again in the next round; played in the instant thru comes back, but
  // before it is there, neither is passed on; once thru is back, it plays.
  EXPECT_EQ(states, (std::vector<std::string>{held.Text(), "keys 2:62, pedals 1", "keys 2:62, pedals",
                                              held.Text()}));
  // The moments tried take in the read after the F7, the owed sent, the
  // next round, the return of thru and the read of what came with it.
  const std::string names = Names(calls);
  EXPECT_EQ(names.find("OutputDirect OutputDirect ReadEvent"), 0u) << names;
  EXPECT_NE(names.find("Subscribers OutputDirect OutputDirect OutputDirect OutputDirect ReadEvent"),
            std::string::npos)
      << names;
  EXPECT_NE(names.find("Subscribe OutputDirect ReadEvent Unsubscribe"), std::string::npos) << names;
}

// A press and a release at every pair of moments after the F7, the release
// at the press's moment or after it: from before the back end has read the
// input, through each round of what is owed and the return of thru, to
// after it. Whatever the pair, what was let go is silent at the end, and the
// synth is in the player's state; a note on that reaches the synth late
// would sound after its own note off.
TEST_F(AlsaSeqTest, APressAndAReleaseAroundThrusReturnLeaveNothingSounding) {
  for (const ThruPressCase& c : ThruPressCases()) {
    SCOPED_TRACE(c.name);
    const SynthState played = SynthState::After(c.before + c.during + c.press + c.release);
    ASSERT_EQ(played.Text(), "keys, pedals");
    int pairs = 0;
    for (int press = 0;; ++press) {
      bool pressed = false;
      for (int release = press;; ++release) {
        std::map<int, std::string> at = {{press, c.press}};
        at[release] += c.release;
        const TappedDump run = RunTappedDump(c.before, c.during, at);
        pressed = run.played > 0;
        if (run.played < (press == release ? 1u : 2u)) break;
        ++pairs;
        SCOPED_TRACE("pressed after call " + std::to_string(press) + ", let go after call " +
                     std::to_string(release) + ": " + Names(run.calls));
        EXPECT_EQ(SynthState::After(run.received).Text(), played.Text())
            << "after the dump: " << Hex(run.After());
      }
      if (!pressed) break;
    }
    EXPECT_GE(pairs, 100);
  }
}

// Played before and during a dump, and what the synth holds at the end: the
// player's state (the program's own next message included), but for a key
// begun during the dump, which does not sound; what follows the F7 comes
// before the program's next message, so that its own call-up wins.
TEST_F(AlsaSeqTest, TheInstrumentFollowsThePlayerAfterADump) {
  for (const ThruDumpCase& c : ThruDumpCases()) {
    SCOPED_TRACE(c.name);
    FakeSequencer seq;
    const Addr keys = AddKeyboard(seq);
    const Addr synth = seq.AddInterface(1, "Synth", false);
    seq.InstallBackend();
    const HMIDIOUT out = OpenOut();
    const HMIDIIN in = OpenIn();
    ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
    seq.Play(keys, c.before);
    int chunks = 0;
    seq.SetDeliverHook([&](Addr port, const std::string&) {
      if (port == synth && ++chunks == 2) seq.Play(keys, c.during);
    });
    SendLong(out, SysEx(1000));
    const std::string next = ThruNextMessage();
    EXPECT_EQ(midiOutShortMsg(out, Asc(next, 1) | Asc(next, 2) << 8), MMSYSERR_NOERROR);
    WaitIdle();
    seq.SetDeliverHook(nullptr);
    const std::string got = seq.Received(synth);
    EXPECT_TRUE(Left(got, static_cast<int>(c.before.size()) + 1000) == c.before + SysEx(1000));
    EXPECT_EQ(Hex(Mid(got, static_cast<int>(c.before.size()) + 1000 + 1)),
              std::string(c.owed) + (*c.owed ? " " : "") + Hex(next));
    const SynthState state = SynthState::After(got);
    EXPECT_EQ(state.Text(), c.state);
    const std::string asPlayed = SynthState::After(c.before + c.during + next).Text();
    if (c.asPlayed) {
      EXPECT_EQ(state.Text(), asPlayed);
    } else {
      EXPECT_NE(state.Text(), asPlayed);
    }
    midiplatform::Shutdown();
  }
}

// A dump cut off where the port stalls: the close at the program's exit, or
// the end of the process, gives up on it after its bounded wait. The keys
// let go during it are let go on the synth all the same, as whole messages
// whose first status byte ends the cut SysEx.
TEST_F(AlsaSeqTest, ADumpCutOffStillLetsGoTheKeysLetGoDuringIt) {
  const struct {
    const char* name;
    bool close;  // midiOutClose, else the end of the MIDI layer
  } cases[] = {{"the close", true}, {"the end of the process", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSequencer seq;
    const Addr keys = AddKeyboard(seq);
    const Addr synth = seq.AddInterface(1, "Synth", false);
    const std::string before = Msg(0x90, 60, 0x64) + Msg(0xB0, 64, 0x7F) + Msg(0x91, 62, 0x64);
    const std::string during = Msg(0x80, 60, 0x40) + Msg(0xB0, 64, 0);
    std::atomic<int> sysExChunks{0};
    // From the third chunk on, each takes 0.3 s to hand over: the dump's 15
    // chunks would take 4 s, past the close's wait (its wire time, almost
    // nothing at a microsecond a byte, and 3 s). At that pace the stand-in's
    // clock stands still, and the interface's 4 KB take the whole dump.
    StartTapped(
        seq,
        [&](const char*, const snd_seq_event_t* sent) {
          if (!sent || sent->type != SND_SEQ_EVENT_SYSEX) return;
          const int chunk = ++sysExChunks;
          if (chunk == 2) seq.Play(keys, during);
          if (chunk >= 3) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        },
        1);
    // The hook's state ends with this pass: no ASSERT before the shutdown.
    const HMIDIOUT out = OpenOut();
    const HMIDIIN in = OpenIn();
    EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
    seq.Play(keys, before);
    const std::string dump = SysEx(15 * 256);
    SendLong(out, dump);
    EXPECT_TRUE(WaitFor([&] { return sysExChunks >= 3; }));
    if (c.close) {
      EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    }
    midiplatform::Shutdown();
    const std::string got = seq.Received(synth);
    ASSERT_GT(got.size(), before.size() + during.size());
    const size_t cut = got.size() - before.size() - during.size();
    EXPECT_LT(cut, dump.size());
    EXPECT_TRUE(Mid(got, static_cast<int>(before.size()) + 1, static_cast<int>(cut)) ==
                Left(dump, static_cast<int>(cut)));
    EXPECT_EQ(Hex(Right(got, static_cast<int>(during.size()))), Hex(during));
    EXPECT_EQ(SynthState::After(got).Text(), "keys 2:62, pedals");
    EXPECT_EQ(SynthState::After(got).Text(), SynthState::After(before + during).Text());
  }
}

// The records of the thru connections, as files of the Windows folder.
std::map<QString, QByteArray> ThruRecords(const std::string& folder) {
  std::map<QString, QByteArray> records;
  QDir dir(QString::fromStdString(folder));
  for (const QString& name : dir.entryList({"midi-thru-*"}, QDir::Files)) {
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::ReadOnly)) records[name] = f.readAll();
  }
  return records;
}

TEST_F(AlsaSeqTest, AThruLeftByACrashIsRemovedAtTheNextStartOrAdoptedWithThruOn) {
  const Addr keys = AddKeyboard();
  const Addr synth = seq_.AddInterface(1, "Synth", false);
  for (const bool thruOn : {false, true}) {
    SCOPED_TRACE(thruOn ? "thru on" : "thru off");
    // A run that made thru, and what its crash leaves: the connection,
    // which outlives its maker, and its record, no longer held.
    Start();
    HMIDIOUT out = OpenOut();
    HMIDIIN in = OpenIn();
    ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
    const std::map<QString, QByteArray> records = ThruRecords(WinFolder());
    ASSERT_EQ(records.size(), 1u);
    midiplatform::Shutdown();
    ASSERT_FALSE(seq_.Patched(keys, synth));
    ASSERT_TRUE(ThruRecords(WinFolder()).empty());
    for (const auto& [name, bytes] : records) WriteFile(name.toStdString(), bytes.toStdString());
    ASSERT_EQ(seq_.Patch(keys, synth), 0);

    // The next start, as the program makes it.
    Start();
    out = OpenOut();
    in = OpenIn();
    if (thruOn) {
      EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
      EXPECT_EQ(midiInStart(in), MMSYSERR_NOERROR);
      EXPECT_TRUE(seq_.Patched(keys, synth));
      EXPECT_EQ(ThruRecords(WinFolder()), records);
      // Now the program's own: the close removes it.
      EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    } else {
      EXPECT_EQ(midiOutShortMsg(out, NoteMsg(60)), MMSYSERR_NOERROR);
    }
    EXPECT_FALSE(seq_.Patched(keys, synth));
    EXPECT_TRUE(ThruRecords(WinFolder()).empty());
    midiplatform::Shutdown();
  }
}

TEST_F(AlsaSeqTest, ASequencerThatCannotBeOpenedSaysWhy) {
  const struct {
    int err;
    const char* reason;
    bool deviceMissing;
  } cases[] = {
      {-EACCES, "ALSA sequencer: Permission denied", false},
      {-ENOENT, "ALSA sequencer: No such file or directory", true},
      {0, "", false},  // a sequencer without a port to play: no reason to give
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    seq_.SetOpenError(c.err);
    Start();
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiplatform::NoDeviceReason(), c.reason);
    EXPECT_EQ(midiplatform::SequencerDeviceMissing(), c.deviceMissing);
    HMIDIOUT out = 0;
    EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_BADDEVICEID);
  }
}

}  // namespace
