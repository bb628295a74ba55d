#include "support/text.h"

#include <iconv.h>

#include <vector>

namespace {

std::string Convert(std::string_view in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  std::vector<char> buf(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  while (src_left > 0) {
    char* dst = buf.data();
    size_t dst_left = buf.size();
    size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buf.data(), dst - buf.data());
    if (r == static_cast<size_t>(-1) && src_left > 0) {
      out += '?';  // skip one byte that does not convert
      ++src;
      --src_left;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf8FromCp932(std::string_view cp932) { return Convert(cp932, "UTF-8", "CP932"); }
std::string Cp932FromUtf8(std::string_view utf8) { return Convert(utf8, "CP932", "UTF-8"); }
