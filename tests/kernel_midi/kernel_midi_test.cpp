// The MIDI layer on the kernel's own sequencer, with real kernel MIDI ports:
// two virtual raw MIDI ports of snd-virmidi (card 0: "Virtual Raw MIDI 0-0"
// and "0-1", whose bytes can be read and written at /dev/snd/midiC0D0 and
// midiC0D1) and one serial port of snd-serial-u16550 through snd-seq-midi
// (card 1: "Serial MIDI 1", raw device midiC1D0), whose bytes go nowhere.
// These tests change the machine's sound cards and send to its ports, so
// they run only in a test guest made for them, which says so with
// BRV_KERNEL_MIDI=1; anywhere else they skip.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QDir>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "core/bytes.h"
#include "midi/midilink.h"
#include "platform/midi/midi_backend.h"
#include "platform/midi/winmm.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/seqtap.h"
#include "tests/fixtures/settingsimage.h"
#include "tests/fixtures/synthstate.h"
#include "tests/fixtures/thrucases.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kVirMidi0[] = "Virtual Raw MIDI 0-0:VirMIDI 0-0";
const char kVirMidi1[] = "Virtual Raw MIDI 0-1:VirMIDI 0-1";
const char kSerial[] = "Serial MIDI (UART16550A):Serial MIDI 1";
constexpr double kUsPerByte = midiplatform::kWireUsPerByte;

bool InTestGuest() {
  const char* flag = std::getenv("BRV_KERNEL_MIDI");
  return flag && std::string(flag) == "1";
}

// F0, n - 2 data bytes counting up (7 bits), F7.
std::string SysEx(int n) {
  std::string s = Chr(0xF0);
  for (int i = 0; i < n - 2; ++i) s += Chr(i & 0x7F);
  return s + Chr(0xF7);
}

std::string Msg(int status, int data1, int data2) {
  return Chr(status) + Chr(data1) + Chr(data2);
}

// The bytes as they were sent: the kernel leaves out a status byte that
// repeats the one before (running status); this puts it back.
std::string UndoRunningStatus(const std::string& bytes) {
  std::string out;
  int status = 0;
  int left = 0;  // data bytes still due to the current message
  for (unsigned char b : bytes) {
    if (b >= 0xF8) {
      out += static_cast<char>(b);
      continue;
    }
    if (b & 0x80) {
      status = b < 0xF0 ? b : 0;
      left = !status ? 0 : (b & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: 1
      out += static_cast<char>(b);
      continue;
    }
    if (left == 0 && status) {
      out += static_cast<char>(status);
      left = (status & 0xE0) == 0xC0 ? 1 : 2;
    }
    if (left > 0) --left;
    out += static_cast<char>(b);
  }
  return out;
}

// A raw MIDI device read on a thread of its own, each read with the time it
// came (a VirMIDI port's reader holds 64 KB: a 75,000-byte dump must be
// taken as it arrives).
class RawReader {
 public:
  explicit RawReader(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd_ < 0) return;
    // A VirMIDI port drops what it is sent until its reader has asked for
    // input once.
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~RawReader() { Close(); }
  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string Bytes() {
    std::lock_guard<std::mutex> lk(mu_);
    return bytes_;
  }
  size_t Size() {
    std::lock_guard<std::mutex> lk(mu_);
    return bytes_.size();
  }
  // Waits until at least n bytes came; false after maxMs.
  bool WaitForSize(size_t n, int maxMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
    while (Size() < n && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return Size() >= n;
  }
  // When the byte at offset (from 0) came.
  Clock::time_point TimeOf(size_t offset) {
    std::lock_guard<std::mutex> lk(mu_);
    for (const auto& [end, time] : reads_) {
      if (end > offset) return time;
    }
    return Clock::time_point();
  }

 private:
  void Run() {
    pollfd p{fd_, POLLIN, 0};
    while (!stop_) {
      if (::poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return;  // the card went away
        continue;
      }
      std::lock_guard<std::mutex> lk(mu_);
      bytes_.append(buf, static_cast<size_t>(n));
      reads_.emplace_back(bytes_.size(), Clock::now());
    }
  }

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mu_;
  std::string bytes_;
  std::vector<std::pair<size_t, Clock::time_point>> reads_;  // bytes so far, and when
};

// Writes bytes into a raw MIDI device: they come out of its sequencer port,
// as keys played on an instrument.
bool WriteRaw(int fd, const std::string& bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void Quiet(const char*, int, const char*, int, const char*, ...) {}

// The test's own sequencer client, to look at the ports and patches.
class Seq {
 public:
  Seq() {
    snd_lib_error_set_handler(Quiet);
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) seq_ = nullptr;
    if (seq_) {
      snd_seq_set_client_name(seq_, "BrvKernelTest");
      port_ = snd_seq_create_simple_port(seq_, "Out", SND_SEQ_PORT_CAP_READ, SND_SEQ_PORT_TYPE_APPLICATION);
    }
  }
  ~Seq() {
    if (seq_) snd_seq_close(seq_);
  }
  bool IsOpen() const { return seq_ != nullptr; }

  // The port called "<client name>:<port name>"; false when there is none.
  bool Find(const std::string& name, snd_seq_addr_t* addr) {
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq_, client) >= 0) {
      snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
      snd_seq_port_info_set_port(port, -1);
      while (snd_seq_query_next_port(seq_, port) >= 0) {
        if (std::string(snd_seq_client_info_get_name(client)) + ":" + snd_seq_port_info_get_name(port) ==
            name) {
          *addr = *snd_seq_port_info_get_addr(port);
          return true;
        }
      }
    }
    return false;
  }
  bool WaitForPort(const std::string& name, int maxMs) {
    snd_seq_addr_t addr;
    const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
    while (!Find(name, &addr) && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Find(name, &addr);
  }

  // True when the port called sender is patched to the one called dest.
  bool Patched(const std::string& sender, const std::string& dest) {
    snd_seq_addr_t from;
    snd_seq_addr_t to;
    if (!Find(sender, &from) || !Find(dest, &to)) return false;
    snd_seq_port_subscribe_t* sub = nullptr;
    snd_seq_port_subscribe_alloca(&sub);
    snd_seq_port_subscribe_set_sender(sub, &from);
    snd_seq_port_subscribe_set_dest(sub, &to);
    return snd_seq_get_port_subscription(seq_, sub) == 0;
  }

  // A note sent straight to a port, with no subscription: the result.
  int SendDirect(const snd_seq_addr_t& dest) {
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, port_);
    snd_seq_ev_set_dest(&ev, dest.client, dest.port);
    snd_seq_ev_set_direct(&ev);
    snd_seq_ev_set_noteon(&ev, 0, 60, 100);
    return snd_seq_event_output_direct(seq_, &ev);
  }

 private:
  snd_seq_t* seq_ = nullptr;
  int port_ = -1;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// The "Tx bytes" count of a raw MIDI device's first output, or -1.
long TxBytes(const std::string& procFile) {
  std::istringstream in(ReadText(procFile));
  std::string line;
  while (std::getline(in, line)) {
    const size_t at = line.find("Tx bytes");
    const size_t colon = line.find(':');
    if (at != std::string::npos && colon != std::string::npos) return std::atol(line.c_str() + colon + 1);
  }
  return -1;
}

class KernelMidiTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    if (!InTestGuest()) GTEST_SKIP() << "not a kernel MIDI test guest (BRV_KERNEL_MIDI=1 is not set)";
    seq_ = std::make_unique<Seq>();
    ASSERT_TRUE(seq_->IsOpen()) << "no sequencer in the test guest";
    midiplatform::UseAlsaBackend();
  }

  // The program's output port follows this port.
  void UsePort(const std::string& name) { WriteBytes(WinFile("midi-out.port"), name + "\n"); }

  // The ALSA back end on the real sequencer through a tap that runs hook
  // after each of its calls (hook's state must outlive the back end: the
  // test ends it with midiplatform::Shutdown).
  static void UseTappedBackend(SeqTap::Hook hook) {
    midiplatform::internal::InstallBackend(
        midiplatform::MakeAlsaBackend(std::make_unique<SeqTap>(midiplatform::MakeAlsaSeq(), std::move(hook)),
                                      std::make_shared<midiplatform::RealClock>()));
  }

  // A start of the program on the real sequencer, thru on or off, once
  // what it sends at start has left.
  void Start(bool thru = false) {
    SettingsImage settings = SettingsImage::Valid(2);
    settings.Byte(1, 46, thru ? 1 : 0);
    WriteBytes(WinFile("Brenvolta.ini"), settings.bytes());
    ASSERT_TRUE(Main());
    ASSERT_EQ(gMidiState, 1);
    ASSERT_TRUE(BoxTexts().empty()) << BoxTexts().front();
    ASSERT_TRUE(WaitSenderIdle(5000));
  }

  // Waits until every queued byte has left (the real clock paces the wire).
  static bool WaitSenderIdle(int maxMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
    while (midiplatform::OutputQueueBusy() && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !midiplatform::OutputQueueBusy();
  }

  static void Send(uint32_t msg) {
    gShortMsg = msg;
    TxShortMsg();
  }
  static void SendDump(const std::string& bytes) {
    gOutMsg.data = bytes;
    TxSysEx();
  }

  std::unique_ptr<Seq> seq_;
};

TEST_F(KernelMidiTest, TheOutputOpensByItselfAndItsBytesReachThePortAtTheWirePace) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // Nothing was patched and nothing remembered: the first external port.
  EXPECT_TRUE(seq_->Patched("Brenvolta:Brenvolta Out", kVirMidi0));
  EXPECT_EQ(ReadBytes(WinFile("midi-out.port")), std::string(kVirMidi0) + "\n");

  RawReader reader("/dev/snd/midiC0D0");
  ASSERT_TRUE(reader.IsOpen());
  const std::string expected =
      Msg(0x90, 0x3C, 0x64) + SysEx(481) + SysEx(75000) + Msg(0x80, 0x3C, 0x40) + Msg(0x80, 0x3E, 0x40);
  Send(0x643C90);
  SendDump(SysEx(481));
  SendDump(SysEx(75000));
  Send(0x403C80);
  Send(0x403E80);
  ASSERT_TRUE(WaitSenderIdle(60000));
  EXPECT_TRUE(BoxTexts().empty());
  const size_t arrived = expected.size() - 1;  // the second note off in running status
  ASSERT_TRUE(reader.WaitForSize(arrived, 2000)) << reader.Size() << " bytes";
  const std::string got = reader.Bytes();
  EXPECT_EQ(got.size(), arrived);
  EXPECT_TRUE(UndoRunningStatus(got) == expected) << "the bytes differ";
  EXPECT_EQ(Hex(Right(got, 5)), "80 3C 40 3E 40");  // as the kernel puts them

  // From the first note to the last note off, every byte but the last
  // message's took its wire time.
  const size_t last = arrived - 2;
  const double us = std::chrono::duration<double, std::micro>(reader.TimeOf(last) - reader.TimeOf(0)).count();
  const double wire = static_cast<double>(last) * kUsPerByte;
  EXPECT_NEAR(us / wire, 1.0, 0.03) << us / 1e6 << " s for " << wire / 1e6 << " s of wire time";
  // Within the big dump, from its second chunk to its last.
  const size_t from = 3 + 481 + 256;
  const size_t to = 3 + 481 + 75000 - 1;
  const double dumpUs =
      std::chrono::duration<double, std::micro>(reader.TimeOf(to) - reader.TimeOf(from)).count();
  EXPECT_NEAR(dumpUs / (static_cast<double>((to - from) / 256 * 256) * kUsPerByte), 1.0, 0.03);
  MidiOutClose();
  EXPECT_FALSE(seq_->Patched("Brenvolta:Brenvolta Out", kVirMidi0));
}

TEST_F(KernelMidiTest, ASerialPortTakesNoDirectEventButPlaysThroughTheProgramsPatch) {
  snd_seq_addr_t serial;
  ASSERT_TRUE(seq_->Find(kSerial, &serial));
  // Its device is closed until it is the destination of a subscription.
  EXPECT_EQ(seq_->SendDirect(serial), -ENODEV);

  UsePort(kSerial);
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_TRUE(seq_->Patched("Brenvolta:Brenvolta Out", kSerial));
  const long before = TxBytes("/proc/asound/card1/midi0");
  ASSERT_GE(before, 0) << ReadText("/proc/asound/card1/midi0");
  Send(0x643C90);
  SendDump(SysEx(481));
  ASSERT_TRUE(WaitSenderIdle(5000));
  EXPECT_TRUE(BoxTexts().empty());
  const auto end = Clock::now() + std::chrono::seconds(2);
  while (TxBytes("/proc/asound/card1/midi0") < before + 484 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(TxBytes("/proc/asound/card1/midi0"), before + 484);
  MidiOutClose();
  EXPECT_FALSE(seq_->Patched("Brenvolta:Brenvolta Out", kSerial));
}

TEST_F(KernelMidiTest, ASerialPortHeldByAnotherProgramIsInUseAndTheStartSaysSo) {
  UsePort(kSerial);
  // Another program has the interface's raw device open.
  const int held = ::open("/dev/snd/midiC1D0", O_WRONLY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  HMIDIOUT out = 0;
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(out, 0u);

  midiplatform::UseAlsaBackend();
  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(2).bytes());
  ASSERT_TRUE(Main());
  ASSERT_FALSE(BoxTexts().empty());
  EXPECT_EQ(BoxTexts().front(), "Output MIDI Device already in use");
  EXPECT_EQ(gMidiState, 0);
  ::close(held);
}

// Waits until no byte has come for quietMs (at most maxMs).
void WaitQuiet(RawReader& reader, int maxMs = 3000, int quietMs = 100) {
  const auto end = Clock::now() + std::chrono::milliseconds(maxMs);
  size_t size = reader.Size();
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
    if (reader.Size() == size) return;
    size = reader.Size();
  } while (Clock::now() < end);
}

// Bytes written at a VirMIDI port's raw device reach the sequencer a moment
// later, from the kernel's own worker: the time given them.
void LetArrive() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The name of snd-virmidi's card device in sysfs ("snd_virmidi.0").
std::string VirMidiDevice() {
  const QStringList names = QDir("/sys/bus/platform/drivers/snd_virmidi")
                                .entryList({"snd_virmidi*"}, QDir::AllEntries | QDir::System);
  return names.isEmpty() ? std::string() : names.front().toStdString();
}

TEST_F(KernelMidiTest, ACardUnboundMidDumpCutsItAndTheFirstSendAfterItsReturnSaysSo) {
  const std::string device = VirMidiDevice();
  ASSERT_FALSE(device.empty());
  UsePort(kVirMidi0);
  ASSERT_NO_FATAL_FAILURE(Start());

  auto reader = std::make_unique<RawReader>("/dev/snd/midiC0D0");
  ASSERT_TRUE(reader->IsOpen());
  SendDump(SysEx(20000));
  ASSERT_TRUE(reader->WaitForSize(1000, 5000));
  // The card goes away (its reader must let go first), and the rest of the
  // dump with it.
  reader.reset();
  ASSERT_TRUE(WriteText("/sys/bus/platform/drivers/snd_virmidi/unbind", device));
  ASSERT_TRUE(WaitSenderIdle(10000));
  EXPECT_TRUE(BoxTexts().empty());

  // Back again, with nothing sent meanwhile.
  ASSERT_TRUE(WriteText("/sys/bus/platform/drivers/snd_virmidi/bind", device));
  ASSERT_TRUE(seq_->WaitForPort(kVirMidi0, 5000));
  reader = std::make_unique<RawReader>("/dev/snd/midiC0D0");
  ASSERT_TRUE(reader->IsOpen());
  Send(0x643C90);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error opening Output MIDI Device"});
  Send(0x643E90);
  EXPECT_EQ(BoxTexts().size(), 1u);
  ASSERT_TRUE(WaitSenderIdle(5000));
  reader->WaitForSize(5, 1000);
  // No tail of the dump: only the two notes, on the port patched again.
  EXPECT_EQ(Hex(UndoRunningStatus(reader->Bytes())), "90 3C 64 90 3E 64");
  EXPECT_TRUE(seq_->Patched("Brenvolta:Brenvolta Out", kVirMidi0));
}

TEST_F(KernelMidiTest, AKeyLetGoDuringADumpIsLetGoRightAfterItsF7) {
  UsePort(kVirMidi1);
  ASSERT_NO_FATAL_FAILURE(Start(true));
  // Thru from the first input port to the remembered output.
  ASSERT_TRUE(seq_->Patched(kVirMidi0, kVirMidi1));
  RawReader instrument("/dev/snd/midiC0D1");
  ASSERT_TRUE(instrument.IsOpen());
  const int keys = ::open("/dev/snd/midiC0D0", O_WRONLY);
  ASSERT_GE(keys, 0);

  // Key 60 and the sustain pedal down before the dump.
  const std::string before = Msg(0x90, 60, 0x64) + Msg(0xB0, 64, 0x7F);
  ASSERT_TRUE(WriteRaw(keys, before));
  ASSERT_TRUE(instrument.WaitForSize(before.size(), 2000));
  const std::string dump = SysEx(6000);
  SendDump(dump);
  ASSERT_TRUE(instrument.WaitForSize(before.size() + 600, 5000));
  // During it: 60 let go, 61 played whole, the pedal let go.
  ASSERT_TRUE(
      WriteRaw(keys, Msg(0x80, 60, 0x40) + Msg(0x90, 61, 0x64) + Msg(0x80, 61, 0x40) + Msg(0xB0, 64, 0x00)));
  ASSERT_TRUE(WaitSenderIdle(10000));
  EXPECT_TRUE(seq_->Patched(kVirMidi0, kVirMidi1));
  // After it, thru plays again.
  ASSERT_TRUE(WriteRaw(keys, Msg(0x90, 62, 0x64)));
  const std::string after = Msg(0x80, 60, 0x40) + Msg(0xB0, 64, 0x00) + Msg(0x90, 62, 0x64);
  instrument.WaitForSize(before.size() + dump.size() + after.size(), 2000);
  const std::string got = UndoRunningStatus(instrument.Bytes());
  EXPECT_EQ(Hex(Left(got, static_cast<int>(before.size()))), Hex(before));
  EXPECT_TRUE(Mid(got, static_cast<int>(before.size()) + 1, static_cast<int>(dump.size())) == dump);
  EXPECT_EQ(Hex(Mid(got, static_cast<int>(before.size() + dump.size()) + 1)), Hex(after));
  EXPECT_TRUE(BoxTexts().empty());
  ::close(keys);
}

// A player at the keys of the first VirMIDI port, moved by the tap's hook
// on the sender's thread as a dump goes out: during is played at the
// dump's chunk duringChunk, at[n] right after the n-th call the back end
// makes from the F7 on (0: the F7's own). Armed by the test between dumps;
// the hook's state outlives the back end.
struct Player {
  int keys = -1;
  std::atomic<bool> armed{false};
  std::string during;
  int duringChunk = 2;
  std::map<int, std::string> at;
  std::atomic<int> chunks{0};
  std::atomic<int> afterF7{-1};  // the sender's calls since the F7's, -1 before it
  std::atomic<size_t> played{0};  // how many of at were played
  std::thread::id sender;
  std::vector<std::string> calls;  // the sender's calls from the F7 on

  ~Player() {
    if (keys >= 0) ::close(keys);
  }
  void Arm(const std::string& duringDump, const std::map<int, std::string>& afterF7Calls, int chunk) {
    during = duringDump;
    duringChunk = chunk;
    at = afterF7Calls;
    chunks = 0;
    afterF7 = -1;
    played = 0;
    calls.clear();
    armed = true;
  }
  void Hook(const char* call, const snd_seq_event_t* sent) {
    if (!armed) return;
    if (afterF7 < 0) {
      if (sent && sent->type == SND_SEQ_EVENT_SYSEX && ++chunks == duringChunk && !during.empty()) {
        WriteRaw(keys, during);
        LetArrive();
      }
      if (!SeqTap::EndsDump(sent)) return;
      sender = std::this_thread::get_id();
    } else if (std::this_thread::get_id() != sender) {
      return;
    }
    const int n = ++afterF7;
    calls.push_back(call);
    auto it = at.find(n);
    if (it == at.end()) return;
    WriteRaw(keys, it->second);
    LetArrive();
    ++played;
  }
};

class KernelThruTest : public KernelMidiTest {
 protected:
  // The program started with thru on, its back end tapped for the player,
  // the instrument read at the second VirMIDI port.
  void StartPlaying() {
    UseTappedBackend([player = player_](const char* call, const snd_seq_event_t* sent) {
      player->Hook(call, sent);
    });
    UsePort(kVirMidi1);
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_TRUE(seq_->Patched(kVirMidi0, kVirMidi1));
    instrument_ = std::make_unique<RawReader>("/dev/snd/midiC0D1");
    ASSERT_TRUE(instrument_->IsOpen());
    player_->keys = ::open("/dev/snd/midiC0D0", O_WRONLY);
    ASSERT_GE(player_->keys, 0);
  }
  void TearDown() override {
    midiplatform::Shutdown();
    instrument_.reset();
    KernelMidiTest::TearDown();
  }

  // What reached the instrument, every message with its status byte.
  std::string Got() { return UndoRunningStatus(instrument_->Bytes()); }

  // Plays before through thru, then a dump of n bytes with the player armed
  // as given (during at its second chunk, or its first when it has two),
  // and next (when not empty) queued behind it; returns what reached the
  // instrument from before on, once nothing more has come for quietMs.
  std::string PlayDump(const std::string& before, int n, const std::string& during,
                       const std::map<int, std::string>& at, const std::string& next = "",
                       int quietMs = 100) {
    const size_t start = Got().size();
    EXPECT_TRUE(WriteRaw(player_->keys, before));
    LetArrive();
    player_->Arm(during, at, n > 2 * 256 ? 2 : 1);
    SendDump(SysEx(n));
    if (!next.empty()) Send(static_cast<uint32_t>(Asc(next, 1) | Asc(next, 2) << 8 | Asc(next, 3) << 16));
    EXPECT_TRUE(WaitSenderIdle(10000));
    player_->armed = false;
    WaitQuiet(*instrument_, 3000, quietMs);
    const std::string got = Mid(Got(), static_cast<int>(start) + 1);
    EXPECT_TRUE(Left(got, static_cast<int>(before.size()) + n) == before + SysEx(n)) << Hex(got);
    return got;
  }

  std::shared_ptr<Player> player_ = std::make_shared<Player>();
  std::unique_ptr<RawReader> instrument_;
};

// The lift's end on the kernel's sequencer: a key let go during a dump is
// pressed again after each call the back end makes once the F7 is out, one
// moment per dump. Whatever the moment, the instrument sounds nothing the
// player does not hold: pressed again before its note off went out, or
// once thru is back, the key sounds; in between it may not, nor its pedal.
TEST_F(KernelThruTest, AKeyPressedAgainAsADumpEndsIsNotCutByItsOwnNoteOff) {
  ASSERT_NO_FATAL_FAILURE(StartPlaying());
  // Down before each dump: 60, 64 and the pedal. During it: 60 let go, the
  // pedal let up. As it ends: both down again. After it, all let go.
  const std::string before = Msg(0x90, 60, 0x64) + Msg(0x90, 64, 0x64) + Msg(0xB0, 64, 0x7F);
  const std::string during = Msg(0x80, 60, 0x40) + Msg(0xB0, 64, 0);
  const std::string again = Msg(0x90, 60, 0x50) + Msg(0xB0, 64, 0x7F);
  const std::string after = Msg(0x80, 60, 0x40) + Msg(0x80, 64, 0x40) + Msg(0xB0, 64, 0);
  const std::string held = SynthState::After(before + during + again).Text();
  ASSERT_EQ(held, "keys 1:60 1:64, pedals 1");
  std::vector<std::string> states;  // what the instrument ended with, a run of moments each
  for (int moment = 0; moment < 60; ++moment) {
    SCOPED_TRACE("pressed again after call " + std::to_string(moment) + " from the F7");
    const std::string got = PlayDump(before, 2000, during, {{moment, again}});
    if (!player_->played) break;  // every moment was tried
    const std::string synth = SynthState::After(got).Text();
    if (states.empty() || states.back() != synth) states.push_back(synth);
    EXPECT_TRUE(synth == held || synth == "keys 1:64, pedals" || synth == "keys 1:64, pedals 1")
        << synth << " after " << player_->calls[moment];
    ASSERT_TRUE(WriteRaw(player_->keys, after));
    WaitQuiet(*instrument_);
    EXPECT_EQ(SynthState::After(Got()).Text(), "keys, pedals");
  }
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), held);
  EXPECT_EQ(states.back(), held);
  EXPECT_GE(player_->calls.size(), 10u);  // the owed send, thru's return and the read after it
  EXPECT_TRUE(seq_->Patched(kVirMidi0, kVirMidi1));
  EXPECT_TRUE(BoxTexts().empty());
}

// The table of the stand-in's suite, on the kernel's sequencer: played
// before and during a dump, and what the instrument holds at the end.
TEST_F(KernelThruTest, TheInstrumentFollowsThePlayerAfterADump) {
  ASSERT_NO_FATAL_FAILURE(StartPlaying());
  const std::string next = ThruNextMessage();
  for (const ThruDumpCase& c : ThruDumpCases()) {
    SCOPED_TRACE(c.name);
    const std::string got = PlayDump(c.before, 1000, c.during, {}, next);
    EXPECT_EQ(Hex(Mid(got, static_cast<int>(c.before.size()) + 1000 + 1)),
              std::string(c.owed) + (*c.owed ? " " : "") + Hex(next));
    const std::string state = SynthState::After(got).Text();
    EXPECT_EQ(state, c.state);
    EXPECT_EQ(state == SynthState::After(c.before + c.during + next).Text(), c.asPlayed);
  }
  EXPECT_TRUE(BoxTexts().empty());
}

// A press and a release at pairs of moments after the F7, as in the stand-in's
// suite: whatever the pair, what was let go is silent at the end. Each
// press moment is tried with the release at the same moment, at three
// later ones and after the dump, so that the suite keeps to the guest's
// time.
TEST_F(KernelThruTest, APressAndAReleaseAroundThrusReturnLeaveNothingSounding) {
  ASSERT_NO_FATAL_FAILURE(StartPlaying());
  constexpr int kAfterTheDump = -1;
  for (const ThruPressCase& c : ThruPressCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SynthState::After(c.before + c.during + c.press + c.release).Text(), "keys, pedals");
    int pairs = 0;
    for (int press = 0; press < 60; ++press) {
      bool pressed = false;
      for (const int later : {0, 1, 3, 7, kAfterTheDump}) {
        const int release = later == kAfterTheDump ? kAfterTheDump : press + later;
        std::map<int, std::string> at = {{press, c.press}};
        if (release != kAfterTheDump) at[release] += c.release;
        std::string got = PlayDump(c.before, 300, c.during, at, "", 40);
        pressed = player_->played > 0;
        if (!pressed) break;
        // Let go once the dump is over, also where the release's moment did
        // not come: the last pair of this press.
        const bool last = release == kAfterTheDump || player_->played < (later == 0 ? 1u : 2u);
        if (last) {
          const size_t size = Got().size();
          ASSERT_TRUE(WriteRaw(player_->keys, c.release));
          WaitQuiet(*instrument_, 3000, 40);
          got += Mid(Got(), static_cast<int>(size) + 1);
        }
        ++pairs;
        EXPECT_EQ(SynthState::After(got).Text(), "keys, pedals")
            << "pressed after call " << press << " (" << player_->calls[press] << "), let go after "
            << (last ? "the dump" : "call " + std::to_string(release)) << ": "
            << Hex(Mid(got, static_cast<int>(c.before.size()) + 300 + 1));
        if (last) break;
      }
      if (!pressed) break;
    }
    EXPECT_GE(pairs, 40);
  }
  EXPECT_TRUE(BoxTexts().empty());
}

// A port that stalls mid-dump: the close at the program's exit gives up on
// the dump after its bounded wait; the keys let go during it are let go on
// the instrument all the same.
TEST_F(KernelMidiTest, ADumpCutOffAtTheExitStillLetsGoTheKeysLetGoDuringIt) {
  struct Tap {
    int keys = -1;
    std::atomic<bool> armed{false};
    std::atomic<int> chunks{0};
    std::string during = Msg(0x80, 60, 0x40) + Msg(0xB0, 64, 0);
  };
  auto tap = std::make_shared<Tap>();
  // From the third chunk on, each takes 0.8 s to hand over: the 12 chunks
  // would take 8 s, well past the close's wait (their wire time, 1.1 s,
  // and 3 s).
  UseTappedBackend([tap](const char*, const snd_seq_event_t* sent) {
    if (!tap->armed || !sent || sent->type != SND_SEQ_EVENT_SYSEX) return;
    const int chunk = ++tap->chunks;
    if (chunk == 2) {
      WriteRaw(tap->keys, tap->during);
      LetArrive();
    }
    if (chunk >= 3) std::this_thread::sleep_for(std::chrono::milliseconds(800));
  });
  UsePort(kVirMidi1);
  ASSERT_NO_FATAL_FAILURE(Start(true));
  RawReader instrument("/dev/snd/midiC0D1");
  ASSERT_TRUE(instrument.IsOpen());
  tap->keys = ::open("/dev/snd/midiC0D0", O_WRONLY);
  ASSERT_GE(tap->keys, 0);
  const std::string before = Msg(0x90, 60, 0x64) + Msg(0xB0, 64, 0x7F) + Msg(0x90, 62, 0x64);
  ASSERT_TRUE(WriteRaw(tap->keys, before));
  ASSERT_TRUE(instrument.WaitForSize(before.size(), 2000));
  tap->armed = true;
  const std::string dump = SysEx(12 * 256);
  SendDump(dump);
  const auto t0 = Clock::now();
  MidiOutClose();  // as the exit closes the output
  EXPECT_GE(Clock::now() - t0, std::chrono::seconds(3));
  WaitQuiet(instrument);
  const std::string got = UndoRunningStatus(instrument.Bytes());
  ASSERT_GT(got.size(), before.size() + tap->during.size());
  const size_t cut = got.size() - before.size() - tap->during.size();
  EXPECT_LT(cut, dump.size());
  EXPECT_TRUE(Mid(got, static_cast<int>(before.size()) + 1, static_cast<int>(cut)) ==
              Left(dump, static_cast<int>(cut)));
  EXPECT_EQ(Hex(Right(got, static_cast<int>(tap->during.size()))), Hex(tap->during));
  EXPECT_EQ(SynthState::After(instrument.Bytes()).Text(), "keys 1:62, pedals");
  midiplatform::Shutdown();
  ::close(tap->keys);
}

}  // namespace
