// Messages between the window's instance and its conversion helpers, however the bytes come.
#include "platform/frames.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

TEST(Frames, MessagesComeWholeInAnyPiecesAndAnOverlongOneIsRefused) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  ASSERT_TRUE(platform::writeFrame(ends[0], "first") && platform::writeFrame(ends[0], ""));
  char bytes[64];
  const ssize_t got = read(ends[1], bytes, sizeof bytes);
  platform::FrameReader reader(5);
  for (ssize_t i = 0; i < got; ++i) reader.append(std::string_view(bytes + i, 1));
  EXPECT_EQ(reader.next(), "first");
  EXPECT_EQ(reader.next(), "");
  EXPECT_EQ(reader.next(), std::nullopt);
  ASSERT_TRUE(platform::writeFrame(ends[0], "sixth!"));
  EXPECT_EQ(platform::readFrame(ends[1], 5), std::nullopt);  // longer than allowed
  reader.append(std::string("\x06\0\0\0\0\0\0\0", 8));
  EXPECT_TRUE(reader.overlong());
  EXPECT_EQ(reader.next(), std::nullopt);
  close(ends[0]);
  close(ends[1]);
}
