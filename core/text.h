// Text routines every module uses. Texts are GBK bytes; positions are 1-based
// byte positions (a double-byte character counts as two) and a search that
// finds nothing gives -1. A missing text is the empty text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mv {

// Position (1-based) of the first occurrence of needle in text at or after
// start, -1 when there is none. Matches begin only on character boundaries,
// so a needle never matches the second byte of a double-byte character.
// ignore_case folds the ASCII letters A-Z / a-z only.
int TextFind(const Text& text, const Text& needle, int start, bool ignore_case);

// The text between the first left marker at or after start and the next
// right marker after it; empty when either is missing. In both markers
// "#引号" stands for one double quote.
Text TextBetween(const Text& text, const Text& left, const Text& right, int start, bool ignore_case);

// Replaces each "%" followed by two upper-case hexadecimal digits by the byte
// they give; everything else (lower-case digits, a "%" near the end) is copied
// as it is. With utf8 set the result is converted from UTF-8 to GBK.
Text UrlDecode(const Text& text, bool utf8);

// UTF-8 -> UTF-16 -> code page 936, through the platform.
Text Utf8ToAnsi(const std::string& utf8);

// The pieces between the occurrences of separator, empty pieces included
// ("a,,b" -> "a", "", "b"). An empty text gives no pieces; an empty
// separator gives the whole text as one piece.
std::vector<Text> SplitText(const Text& text, const Text& separator);

// Without leading and trailing blanks (space, tab, CR, LF).
Text TrimText(const Text& text);

// ASCII letters upper-cased; other bytes (GBK double-byte characters) kept.
Text UpperAscii(const Text& text);

// True when the text ends with the given suffix (byte-wise).
bool EndsWith(const Text& text, const Text& suffix);

// The first three characters of the Windows system directory ("C:\").
Text SystemDrive();
// The first three characters of the Windows directory ("C:\").
Text WindowsDrive();

// Well-known folders by kind, ending with "\"; empty on failure.
//   0 or 3 desktop, 1 documents, 2 favourites, 4 fonts, 5 start menu,
//   6 programs, 7 startup, 8 application data, 9 Windows directory,
//   10 system directory, 11 temporary folder, 12 internet cache.
Text SpecialFolder(int kind);

// MD5 of the text's bytes as 32 lower-case hexadecimal digits.
Text TextDigest(const Text& text);

// Byte array <-> text: a text from bytes stops at the first zero byte.
Bytes TextToBytes(const Text& text);
Text BytesToText(const Bytes& bytes);

}  // namespace mv
