// Global files: the reader.
#include "files/gblfile.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const bool raw = in.Byte() & 1;
  std::string bytes = in.Rest();
  if (!raw) bytes = PadRight(kGblFileHeader + bytes, kGblFileLen, '\0');
  const int result = GblFileRead(FuzzWriteFile("in.gbl", bytes));
  FUZZ_CHECK(result >= 0 && result <= 3);
  FUZZ_CHECK(gGblFileBuf.size() == static_cast<size_t>(kGblFileLen));
  if (result == 0) FUZZ_CHECK(Left(gGblFileBuf, 8) == kGblFileHeader && gGblFileBuf == bytes);
  return 0;
}
