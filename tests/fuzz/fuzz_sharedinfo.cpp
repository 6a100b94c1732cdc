// The info file shared with the sibling programs: any bytes read, written
// by each of the three writers and read again. A writer changes only its
// own 50-byte field of what it found.
#include "tests/fuzz/fuzz_foundation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzWinDir();
  FuzzResetState();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string tag = Chr(19) + Nuls(19) + PadRight("/songs/" + bytes.substr(0, size % 40), 250);
  FuzzWrite("TessaroInfo", bytes);
  SharedInfoRead();
  const std::string before = gSharedInfoBuf;
  if (SharedInfoPutArr(tag) == 0 && !bytes.empty()) {
    FUZZ_CHECK(gSharedInfoBuf.size() == 1000u);
    FUZZ_CHECK(Left(gSharedInfoBuf, 50) == Left(before, 50));
    FUZZ_CHECK(Mid(gSharedInfoBuf, 101) == Mid(before, 101));
  }
  SharedInfoPutSty(tag);
  SharedInfoPutPrg(tag, "pgg");
  SharedInfoRead();
  FUZZ_CHECK(gSentArrName.size() <= 50 && gSentPrgName.size() <= 50);
  if (size % 2) SharedInfoInit();
  FuzzRemove("TessaroInfo");
  return 0;
}
