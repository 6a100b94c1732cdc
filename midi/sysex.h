// KORG System Exclusive: the four-byte header, the 8-to-7-bit packing of
// bulk data, the parameter change and the three mode changes.
#pragma once

#include <string>

// F0 42 3g 4D with g = gChGlobal at the time of the call.
std::string SysExHeader();

// The packing alone: groups of seven bytes, each led by a byte whose bit i
// is the top bit of the group's (i+1)-th byte; a short last group is led by
// its own lead byte.
std::string Pack8to7(const std::string& data);
// Packs data into the data of gOutMsg; the caller frames it.
void Data8to7(const std::string& data);

// Parameter change F0 42 3g 4D 41 pp vl vh F7. For parameter 70 the part
// code raises the value (4: 0, 5: 64, 6: 128, 7: 192, 8: 256, 21: 320,
// 9: 384). An omitted part is 0.
void TxParamChange(int part, int paramId, int value, int negFlag);

void TxModeArrPlay();
void TxModeSongPlay();
void TxModeGlobal();
