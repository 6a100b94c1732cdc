#include "midi/monitor.h"

#include <gtest/gtest.h>

#include "core/bytes.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/fakemainview.h"

TEST(MonitorLine, TwoDigitsAndABlankPerByteThenTwoLineEnds) {
  EXPECT_EQ(MonitorLine(Chr(0x0A) + Chr(0) + Chr(0xF7)), "0A 00 F7 \r\n\r\n");
  EXPECT_EQ(MonitorLine(std::string(14992, '\x7F')).size(), 44976u + 4u);
}

class MonitorTest : public AppFixture {};

TEST_F(MonitorTest, EchoesOnlyWhileAllowedAndOpen) {
  FakeMainView view;
  RecordingMonitor monitor;
  SetMainView(&view);
  SetMonitorView(&monitor);

  gMonitorOn = true;
  view.enabled["mnuMsgEx"] = true;  // monitor closed
  MidiMonLog(Chr(0x90));
  EXPECT_EQ(monitor.text, "");

  view.enabled["mnuMsgEx"] = false;
  gMonitorOn = false;
  MidiMonLog(Chr(0x90));
  EXPECT_EQ(monitor.text, "");

  gMonitorOn = true;
  MidiMonLog(Chr(0x90) + Chr(0x3C));
  MidiMonLog(Chr(0xC0) + Chr(0x05));
  EXPECT_EQ(monitor.text, "90 3C \r\n\r\nC0 05 \r\n\r\n");
  MidiMonLog("");
  EXPECT_EQ(monitor.text, "");

  // Both gates pass but no monitor window exists: nothing happens.
  SetMonitorView(nullptr);
  MidiMonLog(Chr(0x90));
  SetMainView(nullptr);
  MidiMonLog(Chr(0x90));
}
