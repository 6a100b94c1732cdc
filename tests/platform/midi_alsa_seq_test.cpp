// The ALSA back end against a stand-in that behaves as the kernel's
// sequencer does: the patch that opens a hardware port, the port chosen and
// remembered, a hand patch followed, an unplug and a replug, the pacing
// margin against an interface's buffer, thru lifted during a SysEx (and the
// keys let go meanwhile let go after it) and a thru left behind by a crash.
#include <atomic>
#include <cerrno>
#include <map>

#include <QDir>
#include <QFile>

#include "platform/midi/midi_backend.h"
#include "tests/fixtures/fakeseq.h"
#include "tests/fixtures/midibytes.h"
#include "tests/platform/midi_fixture.h"

namespace {

using Addr = FakeSequencer::SeqAddr;

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
  Addr AddKeyboard() {
    return seq_.AddPort(16, "Keyboard", 0, "Keyboard MIDI 1", FakeSequencer::kReadCaps,
                        FakeSequencer::kHardwareType);
  }

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
  // Right after the F7, in the order they were played, before the next
  // message; nothing begun during the dump comes late.
  EXPECT_EQ(Hex(Mid(seq_.Received(synth), static_cast<int>(before.size()) + 1000 + 1)),
            Hex(Msg(0x80, 60, 0x40) + Msg(0xB0, 64, 0) + Msg(0x91, 67, 0) + Msg(0x90, 0x30, 0x64)));
  EXPECT_TRUE(Left(seq_.Received(synth), static_cast<int>(before.size()) + 1000) == before + SysEx(1000));
  // Thru is back, and the input no longer read.
  seq_.Play(keys, Msg(0x90, 62, 0x64));
  EXPECT_EQ(Right(seq_.Received(synth), 3), Msg(0x90, 62, 0x64));
  EXPECT_EQ(seq_.Destinations(keys), std::vector<Addr>{synth});
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
  } cases[] = {
      {-EACCES, "ALSA sequencer: Permission denied"},
      {-ENOENT, "ALSA sequencer: No such file or directory"},
      {0, ""},  // a sequencer without a port to play: no reason to give
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    seq_.SetOpenError(c.err);
    Start();
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiplatform::NoDeviceReason(), c.reason);
    HMIDIOUT out = 0;
    EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_BADDEVICEID);
  }
}

}  // namespace
