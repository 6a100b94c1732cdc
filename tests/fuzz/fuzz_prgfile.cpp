// Program files: PrgFileRead and PrgFileLoad, with and without an extension.
#include "services/paths.h"
#include "files/prgfile.h"
#include "platform/files.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const int how = in.Byte();
  std::string bytes = in.Rest();
  if (how & 1) bytes = PadRight(((how & 2) ? kPggFileHeader : kPrgFileHeader) + bytes, kPrgFileLen, '\0');
  // Which name the file has, and how it is asked for.
  const char* ext = (how & 4) ? ".pgg" : ".prg";
  KillFile(FuzzPath("in.prg"));
  KillFile(FuzzPath("in.pgg"));
  const std::string path = FuzzWriteFile(std::string("in") + ext, bytes);

  int result = 0;
  if (how & 8) {
    result = PrgFileRead(path);
    FUZZ_CHECK(result >= 0 && result <= 3);
  } else {
    result = PrgFileLoad((how & 16) ? path : FuzzPath("in"));
    FUZZ_CHECK(result >= 0 && result <= 4);
    FUZZ_CHECK(gCurExt == "prg" || gCurExt == "pgg");
  }
  FUZZ_CHECK(gPrgFileBuf.size() == static_cast<size_t>(kPrgFileLen));
  if (result == 0 || result == 4) {
    // What the program-file window reads of the image: the channel and the
    // records' kinds.
    volatile int sink = Asc(gPrgFileBuf, 16);
    for (int i = 0; i < 64; ++i) sink = sink + Asc(gPrgFileBuf, kPrgRecStart + kPrgRecLen * i + 1);
    (void)sink;
  } else {
    FUZZ_CHECK(gPrgFileName.empty() || result == 1);
  }
  return 0;
}
