// Thru connections and the input's started state.
#include "platform/midi/midi_backend.h"
#include "tests/platform/midi_fixture.h"

namespace {

using ThruTest = MidiTest;
using Links = std::vector<std::pair<int, int>>;

TEST_F(ThruTest, ConnectAndDisconnectAreMadeInTheBackEnd) {
  const HMIDIOUT out = OpenOut(1);
  const HMIDIIN in = OpenIn();
  EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  EXPECT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);  // once is enough
  EXPECT_EQ(vm_->ThruConnections(), (Links{{0, 1}}));
  EXPECT_EQ(midiDisconnect(in, out, nullptr), MMSYSERR_NOERROR);
  EXPECT_TRUE(vm_->ThruConnections().empty());

  EXPECT_EQ(midiConnect(out, in, nullptr), MMSYSERR_INVALHANDLE);  // the handles swapped
  EXPECT_EQ(midiConnect(in, 0, nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_TRUE(vm_->ThruConnections().empty());
}

TEST_F(ThruTest, ClosingEitherEndRemovesTheConnection) {
  for (const bool closeOutput : {true, false}) {
    SCOPED_TRACE(closeOutput ? "output closed" : "input closed");
    const HMIDIOUT out = OpenOut();
    const HMIDIIN in = OpenIn();
    ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
    ASSERT_EQ(vm_->ThruConnections(), (Links{{0, 0}}));
    EXPECT_EQ(closeOutput ? midiOutClose(out) : midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(vm_->ThruConnections().empty());
    // The designed exit order: output closed, thru switched off (on a dead
    // handle, not reported), input closed.
    EXPECT_EQ(midiDisconnect(in, out, nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(closeOutput ? midiInClose(in) : midiOutClose(out), MMSYSERR_NOERROR);
  }
}

TEST_F(ThruTest, StartAndStopAreRecordedAndTheCloseStops) {
  const HMIDIIN in = OpenIn();
  EXPECT_FALSE(vm_->InputStarted(0));
  EXPECT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  EXPECT_TRUE(vm_->InputStarted(0));
  EXPECT_EQ(midiInStop(in), MMSYSERR_NOERROR);
  EXPECT_FALSE(vm_->InputStarted(0));
  EXPECT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_FALSE(vm_->InputStarted(0));
}

// A back end that tells what it was asked to connect and disconnect into a
// log that outlives it.
class LoggingBackend : public midiplatform::Backend {
 public:
  explicit LoggingBackend(std::vector<std::string>* log) : log_(log) {}
  std::vector<midiplatform::PortInfo> Ports(bool input) override { return {{input ? "in" : "out", 7}}; }
  bool SendChunk(const std::string&, const std::string&, bool, int64_t) override { return true; }
  MMRESULT Connect(const std::string& in, const std::string& out, bool* made) override {
    log_->push_back("connect " + in + " " + out);
    *made = true;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Disconnect(const std::string& in, const std::string& out) override {
    log_->push_back("disconnect " + in + " " + out);
    return MMSYSERR_NOERROR;
  }
  midiplatform::Clock& GetClock() override { return clock_; }
  ~LoggingBackend() override { log_->push_back("gone"); }

 private:
  std::vector<std::string>* log_;
  midiplatform::VirtualClock clock_;
};

TEST_F(ThruTest, ShutdownRemovesTheConnectionsThisProcessMade) {
  std::vector<std::string> log;
  midiplatform::internal::InstallBackend(std::make_unique<LoggingBackend>(&log));
  HMIDIOUT out = 0;
  HMIDIIN in = 0;
  ASSERT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(midiConnect(in, out, nullptr), MMSYSERR_NOERROR);
  midiplatform::Shutdown();
  EXPECT_EQ(log, (std::vector<std::string>{"connect in out", "disconnect in out", "gone"}));
  // The locks went with it.
  midiplatform::internal::InstallBackend(std::make_unique<LoggingBackend>(&log));
  EXPECT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, 0), MMSYSERR_NOERROR);
  midiplatform::Shutdown();  // while the log is still there
}

}  // namespace
