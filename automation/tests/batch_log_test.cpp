#include "automation/batch_log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Two writers appending at once (a batch and the scheduler) never interleave
// inside a line, and nothing is lost.
TEST(BatchLog, LinesFromConcurrentWritersStayWhole) {
  test::TempDir dir;
  constexpr int kLines = 200;
  auto writer = [&](char tag) {
    for (int i = 0; i < kLines; ++i) {
      std::string text(40, tag);
      ASSERT_TRUE(appendLogLine(dir.path(), text));
    }
  };
  std::thread a(writer, 'A'), b(writer, 'B');
  a.join();
  b.join();
  std::string all = readAll(dir.path() / kBatchLogName);
  ASSERT_EQ(all.size(), 2u * kLines * 42);
  for (std::size_t at = 0; at < all.size(); at += 42) {
    std::string line = all.substr(at, 42);
    ASSERT_TRUE(line == std::string(40, 'A') + "\r\n" || line == std::string(40, 'B') + "\r\n") << line;
  }
}

TEST(BatchLog, MissingFolderSaysWhy) {
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(appendLogLine(dir.path() / "absent", "x", &error));
#ifdef _WIN32
  EXPECT_NE(error.find("file_log.txt: Path not found."), std::string::npos) << error;
#else
  EXPECT_NE(error.find("file_log.txt: No such file or directory"), std::string::npos) << error;
#endif
}

}  // namespace
}  // namespace cfg
