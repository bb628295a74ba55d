// Program and bank changes, key shifts, tone shifts and key signatures, as
// event records of compiled scores.
#include <gtest/gtest.h>

#include <string>

#include "compile_helpers.h"

namespace {

// Scores with the records of track A, then the report.
TEST(KeysTest, Scores) {
  CheckCompileFirst({
      // Program with every combination of parts.
      {"A @ r @5 r @. r @5. r @.1 r @5.1 r @.. r @5.. r @.1. r @5.1. r @..2 r @5..2 r "
       "@.1.2 r @5.1.2\n",
       "0 143 0 0\n48 140 5 65535\n"  // @5
       "144 140 5 65535\n"            // @5.
       "192 140 255 128\n"            // @.1
       "240 140 5 128\n"              // @5.1
       "336 140 5 65535\n"            // @5..
       "384 140 255 128\n"            // @.1.
       "432 140 5 128\n"              // @5.1.
       "480 140 255 2\n"              // @..2
       "528 140 5 2\n"                // @5..2
       "576 140 255 130\n"            // @.1.2
       "624 140 5 130\n"              // @5.1.2
       "624 142 0 0\n"
       "  0 :   4 : Error ﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号とﾊﾞﾝｸ･ｾﾚｸﾄ番号のいずれも指定されていません\n"
       "  0 :  14 : Error ﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号とﾊﾞﾝｸ･ｾﾚｸﾄ番号のいずれも指定されていません\n"
       "  0 :  39 : Error ﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号とﾊﾞﾝｸ･ｾﾚｸﾄ番号のいずれも指定されていません\n"},
      // Program and bank ranges.
      {"A @200.200.200 @127.127.127 @0.0.0\n",
       "0 143 0 0\n0 140 127 16383\n0 140 127 16383\n0 140 0 0\n0 142 0 0\n"
       "  0 :   3 : Error ﾌﾟﾛｸﾞﾗﾑ･ﾁｪﾝｼﾞ番号が範囲外です(0 ～ 127)\n"
       "  0 :   7 : Error ﾊﾞﾝｸ･ｾﾚｸﾄ値が範囲外です(0 ～ 127)\n"
       "  0 :  11 : Error ﾊﾞﾝｸ･ｾﾚｸﾄ値が範囲外です(0 ～ 127)\n"},
      // Key shift.
      {"A k-3 c k200 k-200 k r k+ c \\5 c k+2 c\n",
       "0 143 0 0\n0 57 255 48\n96 60 255 48\n144 65 255 48\n192 62 255 48\n240 142 0 0\n"
       "  0 :   9 : Error ｷｰｼﾌﾄは -127 ～ 127 です\n"
       "  0 :  15 : Error ｷｰｼﾌﾄは -127 ～ 127 です\n"
       "  0 :  21 : Warning ｷｰｼﾌﾄ指定値が省略されています（0 に設定）\n"
       "  0 :  26 : Warning ｷｰｼﾌﾄ指定値が省略されています（0 に設定）\n"
       "  0 :  28 : Warning \\ が使われています\n"},
      // Tone shifts per letter.
      {"A kc+ c kc-2 c kc= c kd+ d d= kc5 c kc-200 kc- c\n",
       "0 143 0 0\n0 61 255 48\n48 58 255 48\n96 60 255 48\n144 63 255 48\n192 62 255 48\n"
       "240 60 255 48\n288 59 255 48\n336 142 0 0\n"
       "  0 :  32 : Warning 音符別トーンシフトで +, -, = 以外の指定があります\n"
       "  0 :  32 : Error 未定義コマンドです\n"
       "  0 :  39 : Error 音符別トーンシフトで 127 以上の値が指定されています\n"},
      // Key signatures in both orders.
      {"A ks2 f c g ks-3 b e a d f ks c f ks9 e ks1 f f= ks+1 kf= f\n",
       "0 143 0 0\n0 66 255 48\n48 61 255 48\n96 67 255 48\n"          // ks2: f c g
       "144 70 255 48\n192 63 255 48\n240 68 255 48\n288 62 255 48\n"  // ks-3: b e a d
       "336 65 255 48\n"                                               // f cleared
       "384 60 255 48\n432 65 255 48\n"                                // ks
       "480 65 255 48\n"                                               // ks9: e
       "528 66 255 48\n576 65 255 48\n"                                // ks1: f f=
       "624 65 255 48\n"                                               // kf=
       "672 142 0 0\n"
       "  0 :  30 : Warning 調シフトで値が省略されています\n"
       "  0 :  36 : Error 調シフトで 7 を超える値が指定されいます\n"},
      // Key shift with tone shift and naturals.
      {"A k2 kc+ c c= c+ c- ks-1 b b= c k-1 b=\n",
       "0 143 0 0\n0 63 255 48\n48 62 255 48\n96 64 255 48\n144 62 255 48\n"
       "192 72 255 48\n240 73 255 48\n288 62 255 48\n336 70 255 48\n384 142 0 0\n"},
  });
}

}  // namespace
