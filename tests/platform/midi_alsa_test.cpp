// The ALSA sequencer back end on this machine's own sequencer. Without one
// the machine has no MIDI devices, and the back end tells why without
// printing anything itself; with one, a second client of the test plays the
// instrument. (The back end is also tested against a stand-in for the
// sequencer: midi_alsa_seq_test.cpp.)
#include <alsa/asoundlib.h>

#include <chrono>
#include <thread>

#include "tests/platform/midi_fixture.h"

namespace {

void Quiet(const char*, int, const char*, int, const char*, ...) {}

bool SequencerAvailable() {
  snd_lib_error_set_handler(Quiet);
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return false;
  snd_seq_close(seq);
  return true;
}

class AlsaTest : public MidiTest {
 protected:
  void SetUp() override {
    MidiTest::SetUp();
    midiplatform::UseAlsaBackend();
  }
};

TEST_F(AlsaTest, WithoutASequencerThereAreNoDevicesAndTheReasonIsKnown) {
  if (SequencerAvailable()) GTEST_SKIP() << "this machine has a sequencer";
  testing::internal::CaptureStderr();
  midiplatform::UseAlsaBackend();
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
  HMIDIOUT out = 0;
  HMIDIIN in = 0;
  MIDIINCAPS caps;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInGetDevCapsA(0, &caps, kMidiInCapsSize), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutShortMsg(0x4D001400, 0x643C90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiConnect(0x4D011400, 0x4D001400, nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(Left(midiplatform::NoDeviceReason(), 16), "ALSA sequencer: ");
  midiplatform::Shutdown();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A client standing in for an instrument: "Synth" takes what is sent to it,
// "Keys" is a source the program can take as its input.
class Peer {
 public:
  Peer() {
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
      seq_ = nullptr;
      return;
    }
    snd_seq_set_client_name(seq_, "BrvTestPeer");
    synth_ = snd_seq_create_simple_port(seq_, "Synth", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    keys_ = snd_seq_create_simple_port(seq_, "Keys", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_midi_event_new(4096, &decoder_);
    snd_midi_event_no_status(decoder_, 1);
  }
  ~Peer() {
    if (decoder_) snd_midi_event_free(decoder_);
    if (seq_) snd_seq_close(seq_);
  }
  int Client() const { return seq_ ? snd_seq_client_id(seq_) : -1; }
  uint16_t SynthAddr() const { return static_cast<uint16_t>(Client() << 8 | synth_); }
  uint16_t KeysAddr() const { return static_cast<uint16_t>(Client() << 8 | keys_); }

  // The bytes received, until n have come or two seconds have passed.
  std::string Receive(size_t n) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (bytes.size() < n && std::chrono::steady_clock::now() < deadline) {
      snd_seq_event_t* ev = nullptr;
      if (snd_seq_event_input(seq_, &ev) < 0 || !ev) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      unsigned char buf[4096];
      const long len = snd_midi_event_decode(decoder_, buf, sizeof buf, ev);
      if (len > 0) bytes.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
    }
    return bytes;
  }

  // True when the program's thru joins Keys to Synth.
  bool Patched() {
    snd_seq_port_subscribe_t* sub = nullptr;
    snd_seq_port_subscribe_alloca(&sub);
    snd_seq_addr_t sender{static_cast<unsigned char>(Client()), static_cast<unsigned char>(keys_)};
    snd_seq_addr_t dest{static_cast<unsigned char>(Client()), static_cast<unsigned char>(synth_)};
    snd_seq_port_subscribe_set_sender(sub, &sender);
    snd_seq_port_subscribe_set_dest(sub, &dest);
    return snd_seq_get_port_subscription(seq_, sub) == 0;
  }

 private:
  snd_seq_t* seq_ = nullptr;
  int synth_ = -1;
  int keys_ = -1;
  snd_midi_event_t* decoder_ = nullptr;
};

// Opens the output (or input) device whose handle names addr; the handle
// carries the port's address in its low 16 bits.
bool OpenPeerDevice(bool input, uint16_t addr, uint32_t* handle) {
  const UINT count = input ? midiInGetNumDevs() : midiOutGetNumDevs();
  for (UINT id = 0; id < count; ++id) {
    uint32_t h = 0;
    const MMRESULT r = input ? midiInOpen(&h, id, 0, 0, 0) : midiOutOpen(&h, static_cast<int>(id), 0, 0, 0);
    if (r != MMSYSERR_NOERROR) continue;
    if ((h & 0xFFFF) == addr) {
      *handle = h;
      return true;
    }
    if (input) {
      midiInClose(h);
    } else {
      midiOutClose(h);
    }
  }
  return false;
}

TEST_F(AlsaTest, SendsToAnInstrumentPortAndFollowsItByName) {
  if (!SequencerAvailable()) GTEST_SKIP() << "no sequencer on this machine";
  auto peer = std::make_unique<Peer>();
  HMIDIOUT out = 0;
  ASSERT_TRUE(OpenPeerDevice(false, peer->SynthAddr(), &out));

  EXPECT_EQ(midiOutShortMsg(out, 0x643C90), MMSYSERR_NOERROR);
  EXPECT_EQ(peer->Receive(3), Chr(0x90) + Chr(0x3C) + Chr(0x64));
  SendLong(out, SysEx(1000));
  EXPECT_EQ(peer->Receive(1000), SysEx(1000));

  // Unplugged and plugged back in: the same names, maybe another client.
  peer.reset();
  peer = std::make_unique<Peer>();
  EXPECT_EQ(midiOutShortMsg(out, 0x7F05C0), MMSYSERR_NOERROR);
  EXPECT_EQ(peer->Receive(2), Chr(0xC0) + Chr(0x05));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaTest, ThruSubscribesTheInputToTheOutputUntilTheClose) {
  if (!SequencerAvailable()) GTEST_SKIP() << "no sequencer on this machine";
  Peer peer;
  HMIDIOUT out = 0;
  HMIDIIN in = 0;
  ASSERT_TRUE(OpenPeerDevice(false, peer.SynthAddr(), &out));
  ASSERT_TRUE(OpenPeerDevice(true, peer.KeysAddr(), &in));
  EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  EXPECT_TRUE(peer.Patched());
  EXPECT_EQ(midiDisconnect(in, out, nullptr), MMSYSERR_NOERROR);
  EXPECT_FALSE(peer.Patched());
  EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_FALSE(peer.Patched());
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

}  // namespace
