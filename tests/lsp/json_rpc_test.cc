#include "lsp/json_rpc.h"

#include <gtest/gtest.h>

namespace {

std::vector<Frame> ReadAll(FrameReader& reader) {
  std::vector<Frame> frames;
  Frame frame;
  while (reader.Next(&frame)) frames.push_back(frame);
  return frames;
}

TEST(JsonRpcTest, MessagesComeWholeHoweverTheBytesArrive) {
  const std::string stream =
      "Content-Length: 2\r\n\r\n{}content-length:7\r\n"
      "Content-Type: application/vscode-jsonrpc; charset=utf-8\r\n\r\n[1,2,3]";
  FrameReader reader;
  std::vector<Frame> frames;
  for (char c : stream) {
    reader.Feed(std::string_view(&c, 1));
    for (Frame& f : ReadAll(reader)) frames.push_back(f);
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, "{}");
  EXPECT_EQ(frames[1].body, "[1,2,3]");

  FrameReader at_once;
  at_once.Feed(stream);
  EXPECT_EQ(ReadAll(at_once).size(), 2u);
}

TEST(JsonRpcTest, AHugeMessageIsSkippedAndTheNextOneRead) {
  FrameReader reader;
  reader.Feed("Content-Length: " + std::to_string(kMaxMessageBytes + 10) + "\r\n\r\n0123");
  std::vector<Frame> frames = ReadAll(reader);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, Frame::kTooLarge);
  reader.Feed(std::string(kMaxMessageBytes + 6, 'x'));
  EXPECT_TRUE(ReadAll(reader).empty());
  reader.Feed("Content-Length: 2\r\n\r\n{}");
  frames = ReadAll(reader);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, Frame::kMessage);
  EXPECT_EQ(frames[0].body, "{}");
}

TEST(JsonRpcTest, HeadersWithoutAUsableLengthBreakTheStream) {
  for (const std::string& bad : std::vector<std::string>{
           "Content-Length: -1\r\n\r\n", "Content-Length: 12x\r\n\r\n", "Content-Type: a\r\n\r\n",
           "garbage\r\n\r\n", std::string(kMaxHeaderBytes + 1, 'h')}) {
    FrameReader reader;
    reader.Feed(bad);
    reader.Feed("Content-Length: 2\r\n\r\n{}");
    const std::vector<Frame> frames = ReadAll(reader);
    ASSERT_EQ(frames.size(), 1u) << bad.substr(0, 30);
    EXPECT_EQ(frames[0].kind, Frame::kBadHeader);
    EXPECT_TRUE(reader.Broken());
  }
}

TEST(JsonRpcTest, FramesCountBytesAndReplaceTextThatIsNotUtf8) {
  EXPECT_EQ(FrameMessage(nlohmann::json{{"a", "ド"}}), "Content-Length: 11\r\n\r\n{\"a\":\"ド\"}");
  EXPECT_EQ(FrameMessage(nlohmann::json{{"a", "\xff"}}),
            "Content-Length: 11\r\n\r\n{\"a\":\"\xef\xbf\xbd\"}");
}

}  // namespace
