// Style files: the reader, then every group operation on what it accepted,
// and a write and re-read of the group.
#include <algorithm>

#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  FuzzLoadTemplate();
  const int how = in.Byte();
  std::string bytes;
  if (how & 1) {
    bytes = in.Rest();
  } else {
    // A header and 16 length entries from the input (mostly small; large
    // ones, up to past the limits, when the input asks), then data from the
    // input, so that most files hold what their lengths give.
    const int mask = (how & 6) == 6 ? 0xFFFF : (how & 2) ? 0x0FFF : 0x03FF;
    std::string group = kStyHeader + Nuls(kStyHeaderLen - 7);
    int total = 0;
    for (int k = 0; k < kStySlotCount; ++k) {
      const int lo = in.Byte();
      const int hi = in.Byte();
      const bool present = (in.Byte() & 3) != 0;
      const int len = present ? (lo | hi << 8) & mask : 0;
      PutU16LE(group, 25 + 4 * k, len);
      total += len;
    }
    // The data: the rest of the input repeated, up to a little past what
    // the reader takes in.
    const int tail = in.Byte();
    const int want = std::min(total + ((how & 4) ? tail : 0), kStyReadMax + 4000);
    std::string rest = in.Rest();
    if (rest.empty()) rest = "- empty -       ";
    while (static_cast<int>(rest.size()) < want) rest += rest;
    bytes = group + Left(rest, want);
  }
  const int result = StyFileRead(FuzzWriteFile("in.sty", bytes));
  FUZZ_CHECK(result >= 0 && result <= 2);
  if (result != 0) return 0;

  const std::string group = gStyData;
  FUZZ_CHECK(GroupIsWhole(group));
  FUZZ_CHECK(group.size() <= static_cast<size_t>(kStyReadMax));
  FuzzQueryGroup(group);
  FuzzInput ops{data, size};
  FuzzPutSlots(ops, group);
  FuzzWriteAndReread(group);
  return 0;
}
