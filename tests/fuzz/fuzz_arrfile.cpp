// Arrangement files: the reader, then the style numbers of the records used
// against the file's own style group, as the arrangement window does.
#include "files/arrfile.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  FuzzLoadTemplate();
  // Odd first byte: the rest as the whole file. Even: the rest behind a good
  // header, cut or padded to the right length, so the accepted path is
  // reached too.
  const bool raw = in.Byte() & 1;
  std::string bytes = in.Rest();
  if (!raw) bytes = PadRight(kArrFileHeader + bytes, kArrFileLen, '\0');
  const int result = ArrFileRead(FuzzWriteFile("in.arr", bytes));
  FUZZ_CHECK(result >= 0 && result <= 3);
  FUZZ_CHECK(gArrFileBuf.size() == static_cast<size_t>(kArrFileLen));
  if (result != 0) return 0;

  // The arrangement window: the file image at 271, the group (here the
  // template's) at 42,623.
  std::string tag = FuzzTag(19, gStyTemplate);
  MidAssign(tag, 271, gArrFileBuf);
  std::string group = gStyTemplate;
  for (int i = 0; i < kArrRecCount; ++i) {
    const int rec = 271 + kArrRecStart + kArrRecLen * i;
    const int style = Asc(tag, rec + 17);
    volatile size_t sink =
        StySlotName(style, tag).size() + ArrStySlotLen(style, tag) + ArrStySlotPos(style, tag);
    (void)sink;
    if (Asc(tag, rec + 18) == 1) {
      int slotOut = 0, srcSlot = style, mode = 100;
      std::string src = gStyTemplate;
      StyGrpPutSlot(slotOut, srcSlot, src, mode, group);
      slotOut = 1, srcSlot = 0, mode = style;
      std::string none;
      StyGrpPutSlot(slotOut, srcSlot, none, mode, group);
    }
  }
  FUZZ_CHECK(GroupIsWhole(group));
  FuzzQueryGroup(group);
  return 0;
}
