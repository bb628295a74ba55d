// Text helpers for tests: expected texts are written in UTF-8, the compiler
// speaks Shift-JIS.
#ifndef QUERN_TESTS_SUPPORT_TEXT_H_
#define QUERN_TESTS_SUPPORT_TEXT_H_

#include <string>
#include <string_view>

// CP932 bytes to UTF-8; bytes that do not convert become "?".
std::string Utf8FromCp932(std::string_view cp932);
// UTF-8 to CP932; characters without a CP932 form become "?".
std::string Cp932FromUtf8(std::string_view utf8);

#endif  // QUERN_TESTS_SUPPORT_TEXT_H_
