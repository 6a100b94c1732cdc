// What the instrument behind a lifted thru connection is owed, so that it
// follows the player once the dump is over.
//
// While a SysEx is on the wire, what the input plays reaches the program
// instead of the instrument. Right after the F7, before thru is back, the
// instrument is brought to the state of the player's controls, as whole
// messages and in an order that leaves no note sounding that the player is
// not holding:
// - a key that was sounding through thru and is up gets its note off (a key
//   let go and pressed again, still down, owes nothing, and keeps sounding
//   from before, unless the sostenuto went down in between: the note off
//   then goes before it, so that it does not hold the key, and the key
//   pressed again is as one begun during the lift);
// - each controller, pitch bend and channel pressure that moved gets its
//   last value where it last changed; a data entry goes with the parameter
//   it was made for;
// - a hold pedal (sustain, sostenuto, hold 2) that went up is let up where
//   it last went up, so that it damps what it held, and pressed again where
//   it went down after that, when it is down at the end;
// - all sound off, all notes off and the mode messages that let every key
//   go are sent as played, and the keys they let go owe nothing more; reset
//   all controllers is sent where it was last played;
// - the last program change of each channel is sent with the bank select
//   made for it.
// A note begun while thru is lifted is never sent late, nor its note off.
// Private to platform/midi.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace midiplatform {

class ThruCatchUp {
 public:
  ThruCatchUp();
  // Channel messages the input played (whole, each its status byte first),
  // in the order played. sure: played once the lift was in place, so that
  // they cannot have reached the instrument through thru.
  void Played(const std::string& msgs, bool sure);
  // What brings the instrument to the player's state, in the order it must
  // be sent. What is taken is owed no more: what is played next is counted
  // from the state the instrument is then in.
  std::string Take();
  // What to pass on, once thru is back, of whole messages played in the
  // instant thru came back, which may or may not have gone through thru
  // already (or of what is owed, when it can only be sent then): only what
  // lets go or sets a value (a note off, a pedal let up, a controller),
  // never what begins or holds a note, so that nothing hangs.
  static std::string Late(const std::string& msgs);

 private:
  // A key as the instrument has it, as far as the lift tells.
  enum class Key : uint8_t {
    kUnknown,   // not played during the lift
    kSounding,  // sounding through thru, or pressed again before its note off was sent
    kOwed,      // sounding, and let go: its note off is in the log
    kSilent,    // not held on the instrument: begun during the lift, or let go there
  };
  struct Entry {
    int channel = 0;
    std::string bytes;
  };
  // The parameter numbers selected during the lift (-1 where none was), and
  // which kind was selected last: a data entry is for that one.
  struct Parameter {
    enum Kind { kNone, kNonRegistered, kRegistered } kind = kNone;
    std::array<int, 2> nonRegistered{-1, -1};  // MSB (99), LSB (98)
    std::array<int, 2> registered{-1, -1};     // MSB (101), LSB (100)
  };

  void Message(const std::string& msg, bool sure);
  void NoteOn(int channel, int note, bool sure);
  void NoteOff(int channel, int note, const std::string& msg);
  void Controller(int channel, int number, int value, const std::string& msg);
  void HoldPedal(int channel, int number, int value, const std::string& msg);
  void DataEntry(int channel, int number, const std::string& msg);
  void LetEveryKeyGo(int channel, const std::string& msg);
  void Program(int channel, const std::string& msg);
  // The keys of the channel whose note off is owed: it stays where it is,
  // and the key is silent on the instrument from there on.
  void PinOwed(int channel);

  // Replaces the slot's entry with bytes at the end of the log.
  void Put(uint64_t slot, int channel, const std::string& bytes);
  void Drop(uint64_t slot);
  // An entry no later message replaces.
  void Append(int channel, const std::string& bytes);

  std::map<uint64_t, Entry> log_;       // by the order of each one's last change
  std::map<uint64_t, uint64_t> slots_;  // what an entry stands for -> its place in log_
  uint64_t next_ = 0;
  std::array<Key, 16 * 128> keys_{};
  std::array<std::array<int, 2>, 16> bank_{};  // bank select MSB and LSB played, -1 when none
  std::array<Parameter, 16> parameter_{};
};

}  // namespace midiplatform
