// The MIDI monitor: one read-only text box, Text1, into which the echo
// writes every outgoing message as hexadecimal text.
#pragma once

#include <string>

#include "midi/monitor.h"
#include "ui/main/childform.h"

class QPlainTextEdit;
class frmMain;

class frmMsgEx : public ChildForm, public MonitorView {
  Q_OBJECT
 public:
  frmMsgEx();
  ~frmMsgEx() override;

  void Form_Load(frmMain* main);

  // MonitorView: the kept text is exactly what the echo built, line ends
  // included; it is bounded by dropping whole messages from its start.
  void Clear() override;
  void Append(const std::string& line) override;
  const std::string& KeptText() const { return kept_; }
  QPlainTextEdit* Text1() const { return text1_; }

  static constexpr size_t kKeptLimit = 1000000;

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_Unload() override;

 private:
  void Refresh();
  void FitText1(int marginHeightTwips);

  QPlainTextEdit* text1_ = nullptr;
  std::string kept_;
  bool loaded_ = false;
};
