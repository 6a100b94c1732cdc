// The program's eleven MIDI channels (0-15 each). The global channel is the
// n of every System Exclusive header. The settings file keeps them.
#pragma once

extern int gChGlobal;
extern int gChArrang;
extern int gChLower;
extern int gChUpper2;
extern int gChUpper1;
extern int gChDrum;
extern int gChPerc;
extern int gChBass;
extern int gChAcc1;
extern int gChAcc2;
extern int gChAcc3;

// The first-start values: 0, 0, 0, 0, 0, 9, 10, 11, 12, 13, 14.
void ChannelsReset();
