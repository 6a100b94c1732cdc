#include "core/bytes.h"

#include <gtest/gtest.h>

TEST(Bytes, MidTakesOneBasedPositionsAndStopsAtTheEnd) {
  const std::string s = "ABCDEF";
  EXPECT_EQ(Mid(s, 1, 2), "AB");
  EXPECT_EQ(Mid(s, 5, 10), "EF");
  EXPECT_EQ(Mid(s, 7, 1), "");
  EXPECT_EQ(Mid(s, 3), "CDEF");
  EXPECT_EQ(Mid(s, 2, 0), "");
}

TEST(Bytes, MidAssignOverwritesInPlaceAndNeverLengthens) {
  std::string s = "ABCDEF";
  MidAssign(s, 2, "xy");
  EXPECT_EQ(s, "AxyDEF");
  MidAssign(s, 5, "1234");
  EXPECT_EQ(s, "AxyD12");
  MidAssign(s, 7, "z");
  EXPECT_EQ(s, "AxyD12");
  EXPECT_EQ(s.size(), 6u);
}

TEST(Bytes, AscReadsUnsignedBytesAndNulsSurvive) {
  std::string s = Chr(0) + Chr(255) + Chr(128);
  EXPECT_EQ(s.size(), 3u);
  EXPECT_EQ(Asc(s, 1), 0);
  EXPECT_EQ(Asc(s, 2), 255);
  EXPECT_EQ(Asc(s, 3), 128);
  EXPECT_EQ(Asc(s, 4), 0);
  EXPECT_EQ(Asc(s, 0), 0);
}

TEST(Bytes, TrimsAndPadding) {
  EXPECT_EQ(RTrim("ab  "), "ab");
  EXPECT_EQ(LTrim("  ab "), "ab ");
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(RTrim(std::string("ab\0", 3)), std::string("ab\0", 3));
  EXPECT_EQ(RTrimBlankNul(std::string("ab \0 \0", 6)), "ab");
  EXPECT_EQ(CutAtNul(std::string("ab\0cd\0", 6)), "ab");
  EXPECT_EQ(CutAtNul("abc"), "abc");
  EXPECT_EQ(PadRight("abc", 5), "abc  ");
  EXPECT_EQ(PadRight("abcdef", 3), "abc");
}

TEST(Bytes, NumbersAsText) {
  EXPECT_EQ(Str(3), " 3");
  EXPECT_EQ(Str(0), " 0");
  EXPECT_EQ(Str(-1), "-1");
  EXPECT_EQ(CStr(12), "12");
  EXPECT_EQ(Hex2(0x0A), "0A");
  EXPECT_EQ(Hex2(0), "00");
  EXPECT_EQ(Hex2(0xF7), "F7");
}

TEST(Bytes, SixteenAndThirtyTwoBitFields) {
  std::string s(8, '\0');
  PutU16BE(s, 1, 16000);
  EXPECT_EQ(Asc(s, 1), 0x3E);
  EXPECT_EQ(Asc(s, 2), 0x80);
  EXPECT_EQ(GetU16BE(s, 1), 16000);
  PutU16LE(s, 3, 1176);
  EXPECT_EQ(Asc(s, 3), 0x98);
  EXPECT_EQ(Asc(s, 4), 0x04);
  EXPECT_EQ(GetU16LE(s, 3), 1176);
  PutU32LE(s, 5, 0x12345678u);
  EXPECT_EQ(Asc(s, 5), 0x78);
  EXPECT_EQ(GetU32LE(s, 5), 0x12345678u);
  EXPECT_EQ(GetI16LE(U16LE(0xFFFF), 1), -1);
}

TEST(Bytes, InStrFindsFirstAndLast) {
  EXPECT_EQ(InStr("a_b_c", "_"), 2);
  EXPECT_EQ(InStr("a_b_c", "_", 3), 4);
  EXPECT_EQ(InStr("abc", "_"), 0);
  EXPECT_EQ(InStrRev("/a/b/c", "/"), 5);
}

TEST(Bytes, Latin1RoundTripAndScreenText) {
  const std::string latin1 = Utf8ToLatin1("Tikytikit\xC3\xA0");
  EXPECT_EQ(latin1, "Tikytikit\xE0");
  EXPECT_EQ(Latin1ToUtf8(latin1), "Tikytikit\xC3\xA0");
  EXPECT_EQ(Utf8ToLatin1("\xE2\x82\xAC"), "?");  // outside Latin-1
  // Latin-1 bytes go to the screen as Latin-1, UTF-8 paths as UTF-8.
  EXPECT_EQ(ScreenUtf8("gi\xE0"), "gi\xC3\xA0");
  EXPECT_EQ(ScreenUtf8("songs/m\xC3\xBCller"), "songs/m\xC3\xBCller");
  EXPECT_EQ(ScreenUtf8("plain"), "plain");
}
