#include "ui/main/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/shareddev.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/startup.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "services/strings.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/settingsimage.h"
#include "ui/main/frmmsgex.h"

class FrmMainTest : public MainFixture {
 protected:
  frmMsgEx* Monitor() const { return main_->findChild<frmMsgEx*>("frmMsgEx"); }
};

TEST_F(FrmMainTest, LoadsInEnglishWithItsStatusBar) {
  Start();
  EXPECT_EQ(main_->windowTitle().toStdString(), "Brenvolta - Brenvolta v 2.0 ");
  EXPECT_EQ(Caption("mnuApriArr"), "&Open Arr");
  EXPECT_EQ(Caption("mnuExit"), "E&xit");
  EXPECT_EQ(Caption("mnuMsgEx"), "MIDI Messages");
  EXPECT_EQ(Caption("mnuInfo"), "About Brenvolta");
  EXPECT_EQ(Caption("mnuFile"), "&File");
  EXPECT_EQ(Caption("mnuLoadAll"), "Load All");
  EXPECT_TRUE(main_->Item("mnuInglese")->isChecked());
  EXPECT_FALSE(main_->Item("mnuItaliano")->isChecked());
  EXPECT_EQ(main_->Label("LabelNomeAppl")->text().toStdString(), "Brenvolta v 2.0");
  // The mode of the last run is sent at start and shown.
  EXPECT_EQ(main_->Label("LabelMode")->text().toStdString(), "ARR PLAY");
  EXPECT_EQ(midi_->CallsNamed("midiOutLongMsg").back().bytes,
            Chr(0xF0) + Chr(0x42) + Chr(0x30) + Chr(0x4D) + Chr(0x4E) + Chr(0x0A) + Chr(0xF7));
  const char* labels[] = {"LabelNomeAppl", "LabelMode", "Label1", "LabelArr", "LabelSty", "LabelPrg"};
  const int lefts[] = {20, 2274, 3410, 5242, 6690, 8138};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(main_->Label(labels[i])->x(), TwipsToPixels(lefts[i])) << labels[i];
  EXPECT_FALSE(main_->Item("mnuChiudi")->isEnabled());
  EXPECT_FALSE(main_->Item("mnuWindow")->isEnabled());
}

TEST_F(FrmMainTest, LoadsInItalian) {
  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(1).bytes());
  Start();
  EXPECT_EQ(Caption("mnuApriArr"), "&Apri Arr");
  EXPECT_EQ(Caption("mnuExit"), "&Esci");
  EXPECT_EQ(Caption("mnuInfo"), "Informazioni su Brenvolta");
  EXPECT_TRUE(main_->Item("mnuItaliano")->isChecked());
}

TEST_F(FrmMainTest, ShowsTheFilesTheInstrumentHolds) {
  std::string info = "TessaroInfo" + Space(989);
  MidAssign(info, 51, "live");
  MidAssign(info, 151, "sounds");
  WriteBytes(WinFile("TessaroInfo"), info);
  Start();
  EXPECT_EQ(main_->Label("LabelArr")->text().toStdString(), "live.arr");
  EXPECT_EQ(main_->Label("LabelSty")->text().toStdString(), "");
  EXPECT_EQ(main_->Label("LabelPrg")->text().toStdString(), "sounds.prg");
}

TEST_F(FrmMainTest, TheMonitorShowsEveryMessageWhileOpen) {
  Start();
  TxModeSongPlay();  // monitor not open yet: no echo
  main_->Item("mnuMsgEx")->trigger();
  frmMsgEx* monitor = Monitor();
  ASSERT_NE(monitor, nullptr);
  EXPECT_FALSE(main_->Item("mnuMsgEx")->isEnabled());
  EXPECT_TRUE(main_->Item("mnuChiudi")->isEnabled());
  EXPECT_TRUE(gMonitorOn);
  EXPECT_EQ(monitor->windowTitle().toStdString(), "MIDI messages");
  EXPECT_EQ(monitor->Tag(), Chr(16) + Nuls(19));
  EXPECT_EQ(gToolWinCount, 1);

  TxModeArrPlay();
  EXPECT_EQ(monitor->KeptText(), "F0 42 30 4D 4E 0A F7 \r\n\r\n");
  MidiMonLog(Chr(0x90) + Chr(0x3C) + Chr(0x64));
  EXPECT_EQ(monitor->KeptText(), "F0 42 30 4D 4E 0A F7 \r\n\r\n90 3C 64 \r\n\r\n");
  EXPECT_EQ(monitor->Text1()->toPlainText().toStdString(), "F0 42 30 4D 4E 0A F7 \n\n90 3C 64 \n\n");
  EXPECT_TRUE(monitor->Text1()->isReadOnly());

  monitor->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Monitor(), nullptr);
  EXPECT_TRUE(main_->Item("mnuMsgEx")->isEnabled());
  EXPECT_EQ(gWinPosTab[kKindMonitor].State, 0);
  EXPECT_EQ(gToolWinCount, 0);
  EXPECT_TRUE(gMonitorOn);
  TxModeArrPlay();  // no window: nothing to echo into, nothing breaks
}

TEST_F(FrmMainTest, TheMonitorIsCappedAtItsLargestSize) {
  Start();
  gWinPosTab[kKindMonitor] = WinPosRec{0, 0, 5000, 9000, 0, 0};
  main_->Item("mnuMsgEx")->trigger();
  frmMsgEx* monitor = Monitor();
  ASSERT_NE(monitor, nullptr);
  QApplication::processEvents();
  EXPECT_LE(monitor->WidthTwips(), 8000 + TwipsPerPixel());
  EXPECT_EQ(gWinPosTab[kKindMonitor].Width, monitor->WidthTwips());
  EXPECT_EQ(gWinPosTab[kKindMonitor].State, 1);
}

TEST_F(FrmMainTest, TheMonitorKeepsWholeMessagesWithinItsBound) {
  Start();
  main_->Item("mnuMsgEx")->trigger();
  frmMsgEx* monitor = Monitor();
  ASSERT_NE(monitor, nullptr);
  const std::string big(100000, '\x11');  // a line of 300,004 characters
  for (int i = 0; i < 5; ++i) MidiMonLog(big);
  EXPECT_LE(monitor->KeptText().size(), frmMsgEx::kKeptLimit);
  EXPECT_EQ(monitor->KeptText().size() % 300004, 0u);
  const std::string huge(400000, '\x22');  // one message above the bound is still shown whole
  MidiMonLog(huge);
  EXPECT_EQ(monitor->KeptText(), MonitorLine(huge));
}

TEST_F(FrmMainTest, ExitSettlesTheDeviceRecordAndEnds) {
  Start();
  main_->Item("mnuMsgEx")->trigger();
  midi_->ClearRecords();
  bool hourglass = true;
  midi_->SetCallHook([&](const std::string& call) {
    if (call == "midiOutClose") hourglass = main_->cursor().shape() == Qt::WaitCursor;
  });
  main_->Item("mnuExit")->trigger();
  midi_->SetCallHook(nullptr);
  EXPECT_FALSE(hourglass);  // nothing to wait for
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_FALSE(main_->isVisible());
  EXPECT_EQ(gSharedDev.UserCount(), 0);
  EXPECT_EQ(Asc(ReadBytes(WinFile("Veltrano")), 14), 0);
  EXPECT_EQ(midi_->CallsNamed("midiOutClose").size(), 1u);
}

TEST_F(FrmMainTest, TheExitShowsTheHourglassWhileTheLastDumpLeaves) {
  midi_ = &VirtualMidi::Install(1, 1, true);  // the real clock
  Start();
  const std::string dump = Chr(0xF0) + std::string(1500, '\x01') + Chr(0xF7);  // about 530 ms
  gOutMsg.data = dump;
  TxSysEx();
  bool hourglass = false;
  midi_->SetCallHook([&](const std::string& call) {
    if (call == "midiOutClose") hourglass = main_->cursor().shape() == Qt::WaitCursor;
  });
  main_->Item("mnuExit")->trigger();
  midi_->SetCallHook(nullptr);
  EXPECT_FALSE(main_->isVisible());
  EXPECT_TRUE(hourglass);
  // The close let the whole dump out.
  const std::string wire = midi_->WireBytes();
  ASSERT_GE(wire.size(), dump.size());
  EXPECT_EQ(wire.substr(wire.size() - dump.size()), dump);
}

TEST_F(FrmMainTest, ARefusedExitKeepsTheWindowWithoutChildren) {
  Start();
  main_->Item("mnuMsgEx")->trigger();
  std::string dev = ReadBytes(WinFile("Veltrano"));
  MidAssign(dev, 14, Chr(2));
  WriteBytes(WinFile("Veltrano"), dev);
  main_->Item("mnuExit")->trigger();
  EXPECT_TRUE(main_->ExitRefused());
  EXPECT_TRUE(main_->isVisible());
  EXPECT_FALSE(gClosing);
  EXPECT_TRUE(main_->MdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(ReadBytes(WinFile("Veltrano")), dev);
  EXPECT_EQ(dialogs_.boxes.back().text, "Close before all other applications");
  EXPECT_TRUE(main_->Item("mnuMsgEx")->isEnabled());
}
