#include "platform/midi/thru_catchup.h"

#include "core/bytes.h"

namespace midiplatform {
namespace {

// What an entry of the log stands for: a later message for the same slot
// takes its place.
enum SlotKind : uint64_t {
  kKeySlot = 1,  // a key's note off
  kControlSlot,  // a controller's value (a hold pedal's: where it went down)
  kDampSlot,     // where a hold pedal last went up
  kBendSlot,
  kPressureSlot,  // channel pressure
  kProgramSlot,   // a program change and the bank select made for it
  kDataSlot,      // a data entry, by the parameter it is for
};

uint64_t Slot(SlotKind kind, int channel, int number = 0, uint64_t parameter = 0) {
  return static_cast<uint64_t>(kind) << 48 | static_cast<uint64_t>(channel) << 40 |
         static_cast<uint64_t>(number) << 24 | parameter;
}

std::string ControlChange(int channel, int number, int value) {
  return Chr(0xB0 | channel) + Chr(number) + Chr(value);
}

// The pedals that keep notes sounding while down.
bool IsHoldPedal(int number) {
  return number == 64 || number == 66 || number == 69;
}

// Runs take(msg) for each whole message of msgs.
template <typename Take>
void EachMessage(const std::string& msgs, Take take) {
  for (size_t at = 0; at < msgs.size();) {
    size_t end = at + 1;
    while (end < msgs.size() && !(static_cast<unsigned char>(msgs[end]) & 0x80)) ++end;
    take(msgs.substr(at, end - at));
    at = end;
  }
}

}  // namespace

ThruCatchUp::ThruCatchUp() {
  for (auto& bank : bank_) bank = {-1, -1};
}

void ThruCatchUp::Played(const std::string& msgs, bool sure) {
  EachMessage(msgs, [&](const std::string& msg) { Message(msg, sure); });
}

void ThruCatchUp::Message(const std::string& msg, bool sure) {
  const int status = Asc(msg, 1);
  if (status < 0x80 || status >= 0xF0) return;
  const int channel = status & 0x0F;
  const int data1 = Asc(msg, 2);
  const int data2 = Asc(msg, 3);
  switch (status & 0xF0) {
    case 0x90:
      if (data2 > 0) {
        NoteOn(channel, data1, sure);
        break;
      }
      [[fallthrough]];
    case 0x80:
      NoteOff(channel, data1, msg);
      break;
    case 0xB0:
      Controller(channel, data1, data2, msg);
      break;
    case 0xC0:
      Program(channel, msg);
      break;
    case 0xD0:
      Put(Slot(kPressureSlot, channel), channel, msg);
      break;
    case 0xE0:
      Put(Slot(kBendSlot, channel), channel, msg);
      break;
    default:
      break;  // polyphonic key pressure ends with its note
  }
}

std::string ThruCatchUp::Take() {
  std::string out;
  for (const auto& [at, entry] : log_) out += entry.bytes;
  log_.clear();
  slots_.clear();
  for (Key& key : keys_) {
    if (key == Key::kOwed) key = Key::kSilent;
  }
  return out;
}

std::string ThruCatchUp::Late(const std::string& msgs) {
  std::string out;
  EachMessage(msgs, [&](const std::string& msg) {
    const int kind = Asc(msg, 1) & 0xF0;
    if (kind == 0x90 && Asc(msg, 3) > 0) return;
    if (kind == 0xB0 && IsHoldPedal(Asc(msg, 2)) && Asc(msg, 3) >= 64) return;
    out += msg;
  });
  return out;
}

void ThruCatchUp::NoteOn(int channel, int note, bool sure) {
  Key& key = keys_[channel * 128 + note];
  if (key == Key::kOwed) {
    // Pressed again before its note off went out: it sounds on from before.
    Drop(Slot(kKeySlot, channel, note));
    key = Key::kSounding;
  } else if (!sure) {
    key = Key::kSounding;  // it may have gone through thru as the lift began
  } else if (key == Key::kUnknown) {
    key = Key::kSilent;  // begun during the lift: never sent late
  }
}

void ThruCatchUp::NoteOff(int channel, int note, const std::string& msg) {
  Key& key = keys_[channel * 128 + note];
  // A key first seen going up was sounding through thru.
  if (key == Key::kUnknown) key = Key::kSounding;
  if (key != Key::kSounding) return;
  Put(Slot(kKeySlot, channel, note), channel, msg);
  key = Key::kOwed;
}

void ThruCatchUp::Controller(int channel, int number, int value, const std::string& msg) {
  Parameter& parameter = parameter_[channel];
  switch (number) {
    case 0:
    case 32:
      bank_[channel][number == 32] = value;
      break;
    case 6:
    case 38:
    case 96:
    case 97:
      DataEntry(channel, number, msg);
      return;
    case 98:
    case 99:
      parameter.kind = Parameter::kNonRegistered;
      parameter.nonRegistered[number == 98] = value;
      break;
    case 100:
    case 101:
      parameter.kind = Parameter::kRegistered;
      parameter.registered[number == 100] = value;
      break;
    case 64:
    case 66:
    case 69:
      HoldPedal(channel, number, value, msg);
      return;
    case 120:  // all sound off
    case 123:  // all notes off
    case 124:  // omni off, omni on, mono, poly: all notes off too
    case 125:
    case 126:
    case 127:
      LetEveryKeyGo(channel, msg);
      return;
    case 121:
      // Reset all controllers lets the sustain and sostenuto pedals up (a
      // value played before it no longer holds) and forgets the parameter
      // selected.
      Drop(Slot(kControlSlot, channel, 64));
      Drop(Slot(kControlSlot, channel, 66));
      parameter = Parameter();
      break;
    default:
      break;
  }
  Put(Slot(kControlSlot, channel, number), channel, msg);
}

void ThruCatchUp::HoldPedal(int channel, int number, int value, const std::string& msg) {
  const uint64_t down = Slot(kControlSlot, channel, number);
  if (value >= 64) {
    auto it = slots_.find(down);
    if (it != slots_.end()) {
      // Still down: it holds from where it went down, with its last value.
      log_[it->second].bytes = msg;
      return;
    }
    // The sostenuto holds what is down as it goes down: a key let go before
    // that is let go before it, whatever comes next.
    if (number == 66) PinOwed(channel);
    Put(down, channel, msg);
    return;
  }
  // Up: it lets go what it held here. When it is pressed again later, both
  // are sent, so the instrument's pedal damps too.
  Drop(down);
  Put(Slot(kDampSlot, channel, number), channel, msg);
}

void ThruCatchUp::DataEntry(int channel, int number, const std::string& msg) {
  // Sent after the numbers of its parameter, as far as they were selected
  // during the lift (a parameter selected before it is still selected on
  // the instrument).
  const Parameter& parameter = parameter_[channel];
  std::string bytes;
  uint64_t key = 0;
  if (parameter.kind != Parameter::kNone) {
    const bool registered = parameter.kind == Parameter::kRegistered;
    const std::array<int, 2>& numbers = registered ? parameter.registered : parameter.nonRegistered;
    const int msbController = registered ? 101 : 99;
    if (numbers[0] >= 0) bytes += ControlChange(channel, msbController, numbers[0]);
    if (numbers[1] >= 0) bytes += ControlChange(channel, msbController - 1, numbers[1]);
    key = static_cast<uint64_t>(parameter.kind) << 16 | static_cast<uint64_t>(numbers[0] + 1) << 8 |
          static_cast<uint64_t>(numbers[1] + 1);
  }
  bytes += msg;
  if (number == 96 || number == 97) {
    Append(channel, bytes);  // a step up or down: each one counts
  } else {
    Put(Slot(kDataSlot, channel, number, key), channel, bytes);
  }
}

void ThruCatchUp::LetEveryKeyGo(int channel, const std::string& msg) {
  // Sent as played, after what came before it: every key of the channel is
  // let go there (the pedals still hold theirs), and none owes more.
  PinOwed(channel);
  for (int note = 0; note < 128; ++note) keys_[channel * 128 + note] = Key::kSilent;
  // The same again, with nothing of the channel in between, adds nothing.
  for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
    if (it->second.channel != channel) continue;
    if (it->second.bytes == msg) return;
    break;
  }
  Append(channel, msg);
}

void ThruCatchUp::Program(int channel, const std::string& msg) {
  // The bank select played during the lift goes with it, just before it.
  std::string bytes;
  for (int i = 0; i < 2; ++i) {
    if (bank_[channel][i] < 0) continue;
    const int number = i ? 32 : 0;
    Drop(Slot(kControlSlot, channel, number));
    bytes += ControlChange(channel, number, bank_[channel][i]);
  }
  Put(Slot(kProgramSlot, channel), channel, bytes + msg);
}

void ThruCatchUp::PinOwed(int channel) {
  for (int note = 0; note < 128; ++note) {
    Key& key = keys_[channel * 128 + note];
    if (key != Key::kOwed) continue;
    slots_.erase(Slot(kKeySlot, channel, note));
    key = Key::kSilent;
  }
}

void ThruCatchUp::Put(uint64_t slot, int channel, const std::string& bytes) {
  Drop(slot);
  const uint64_t at = next_++;
  log_[at] = Entry{channel, bytes};
  slots_[slot] = at;
}

void ThruCatchUp::Drop(uint64_t slot) {
  auto it = slots_.find(slot);
  if (it == slots_.end()) return;
  log_.erase(it->second);
  slots_.erase(it);
}

void ThruCatchUp::Append(int channel, const std::string& bytes) {
  log_[next_++] = Entry{channel, bytes};
}

}  // namespace midiplatform
