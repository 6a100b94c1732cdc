// The new-style template r40Sty: the reader, then a new style document made
// from it and the delete of styles that uses its empty style.
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const int how = in.Byte();
  std::string bytes;
  if (how & 1) {
    bytes = in.Rest();
  } else {
    // The good template with bytes changed where the input says: pairs of
    // (offset, value), the offset scaled over the header and the names.
    bytes = StyTemplateFileImage();
    while (in.pos + 1 < in.size) {
      const int lo = in.Byte();
      const int at = lo | in.Byte() << 8;
      const int value = in.Byte();
      MidAssign(bytes, at % 300 < 240 ? at % 240 + 1 : at % kStyTemplateLen + 1, Chr(value));
    }
    if (how & 2) bytes = Left(bytes, kStyTemplateLen - (how >> 2));
  }
  const std::string held = gStyTemplate;
  const int result = StyFileRead(FuzzWriteFile("r40Sty", bytes));
  FUZZ_CHECK(result >= 0 && result <= 2);
  if (result != 0) {
    FUZZ_CHECK(gStyTemplate == held);
    return 0;
  }
  FUZZ_CHECK(gStyTemplate.size() == static_cast<size_t>(kStyTemplateLen) && gStyData == gStyTemplate);
  for (int k = 0; k < 4; ++k) FUZZ_CHECK(StyGrpSlotName(k, gStyTemplate).compare(0, 9, kStyEmptyName) == 0);

  // A new style document, and styles deleted from a group with the empty
  // style.
  FuzzQueryGroup(gStyData);
  std::string group = gStyTemplate;
  for (int slot = 0; slot < kStySlotCount; ++slot) {
    int slotOut = 1, srcSlot = 0, mode = slot;
    std::string none;
    StyGrpPutSlot(slotOut, srcSlot, none, mode, group);
  }
  FUZZ_CHECK(GroupIsWhole(group));
  FuzzInput ops{data, size};
  FuzzPutSlots(ops, group);
  return 0;
}
