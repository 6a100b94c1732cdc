#include "midi/channels.h"

int gChGlobal = 0;
int gChArrang = 0;
int gChLower = 0;
int gChUpper2 = 0;
int gChUpper1 = 0;
int gChDrum = 9;
int gChPerc = 10;
int gChBass = 11;
int gChAcc1 = 12;
int gChAcc2 = 13;
int gChAcc3 = 14;

void ChannelsReset() {
  gChGlobal = gChArrang = gChLower = gChUpper2 = gChUpper1 = 0;
  gChDrum = 9;
  gChPerc = 10;
  gChBass = 11;
  gChAcc1 = 12;
  gChAcc2 = 13;
  gChAcc3 = 14;
}
