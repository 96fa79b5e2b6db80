// The fingerprint list: its two file forms, its template files, and the
// round trip through a simulated terminal, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/hex.h"
#include "link/tests/sim_line.h"
#include "sim/sim_fingerprints.h"
#include "tables/fingerprints.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

namespace fs = std::filesystem;
using test::SimLine;
using test::TempDir;

// A recognisable template: 384 bytes counting from `seed`.
std::string templ(int seed) {
  std::string bytes;
  for (int i = 0; i < 384; ++i) bytes += static_cast<char>((seed + i) & 0xFF);
  return bytesToHex(bytes);
}

std::vector<std::string> tplFiles(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".tpl") out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// A by-reference line: the name in a 16-character field.
std::string reference(const char* head, std::string name) {
  name.resize(16, ' ');
  return head + name + "\r\n";
}

std::string embedded(int company, long personnel, const std::string& digits) {
  char head[32];
  std::snprintf(head, sizeof head, "%05d %09ld ", company, personnel);
  return head + digits + "\r\n";
}

TEST(FingerprintFiles, BothFormsLoadAlikeAndFilesAreTemporary) {
  TempDir dir;
  fs::create_directory(dir / "work");
  const fs::path work = dir / "work";
  // Embedded form: 786-byte lines.
  dir.write("emb.txt", embedded(1, 12345, templ(1)) + embedded(99, 999999999, templ(2)));
  // By reference: 31-byte lines naming template files.
  dir.write("a.tpl", templ(1));
  dir.write("bb.tpl", templ(2) + "\r\n");  // only the first 768 characters count
  dir.write("ref.txt", reference("01 000012345 ", "a.tpl") + reference("99 999999999 ", "bb.tpl"));
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  {
    FingerprintList a(work), b(work);
    ASSERT_TRUE(loadFingerprintFile(dir / "emb.txt", dir.path(), LoadMode::Replace, -1, a, messages));
    ASSERT_TRUE(loadFingerprintFile(dir / "ref.txt", dir.path(), LoadMode::Replace, -1, b, messages));
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(a.records()[i].badge, b.records()[i].badge);
      EXPECT_EQ(a.readTemplate(i), b.readTemplate(i));
    }
    EXPECT_EQ(a.records()[0].badge, "0100003039");
    EXPECT_EQ(a.records()[1].badge, "633B9AC9FF");
    // Each template file has the lowest number no record and no file uses.
    EXPECT_EQ(tplFiles(work), (std::vector<std::string>{"tmp00001.tpl", "tmp00002.tpl", "tmp00003.tpl", "tmp00004.tpl"}));
    EXPECT_EQ(a.records()[0].templateFile, "tmp00001.tpl");
    EXPECT_EQ(b.records()[0].templateFile, "tmp00003.tpl");

    // Saving writes the embedded form, byte for byte what was read.
    ASSERT_TRUE(saveFingerprintFile(dir / "out.txt", b, messages));
    EXPECT_EQ(dir.read("out.txt"), dir.read("emb.txt"));

    // A failed load (second line's company out of range) leaves the list
    // and its files as they were, and makes no file of its own.
    dir.write("bad.txt", embedded(3, 7, templ(3)) + embedded(100, 7, templ(4)));
    EXPECT_FALSE(loadFingerprintFile(dir / "bad.txt", dir.path(), LoadMode::Append, -1, a, messages));
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(a.readTemplate(1), templ(2));
    // A missing referenced template, a short one, a line of another length.
    dir.write("short.tpl", templ(5).substr(0, 700));
    dir.write("ref2.txt", reference("01 000000001 ", "short.tpl"));
    EXPECT_FALSE(loadFingerprintFile(dir / "ref2.txt", dir.path(), LoadMode::Replace, -1, a, messages));
    dir.write("ref3.txt", reference("01 000000001 ", "none.tpl"));
    EXPECT_FALSE(loadFingerprintFile(dir / "ref3.txt", dir.path(), LoadMode::Replace, -1, a, messages));
    dir.write("odd.txt", "01 000000001 a.tpl\r\n");
    EXPECT_FALSE(loadFingerprintFile(dir / "odd.txt", dir.path(), LoadMode::Replace, -1, a, messages));
    // Personnel number 0 is no badge.
    dir.write("zero.txt", embedded(1, 0, templ(1)));
    EXPECT_FALSE(loadFingerprintFile(dir / "zero.txt", dir.path(), LoadMode::Replace, -1, a, messages));
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(tplFiles(work).size(), 4u);

    // Insert before record 1, then remove it: its file goes with it.
    dir.write("one.txt", embedded(5, 55, templ(9)));
    ASSERT_TRUE(loadFingerprintFile(dir / "one.txt", dir.path(), LoadMode::Insert, 1, a, messages));
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a.records()[1].badge, "0500000037");
    EXPECT_EQ(a.records()[1].templateFile, "tmp00005.tpl");
    a.remove(1);
    EXPECT_FALSE(fs::exists(work / "tmp00005.tpl"));

    // Sorted by the personnel-number part of the badge code.
    ASSERT_TRUE(loadFingerprintFile(dir / "one.txt", dir.path(), LoadMode::Append, -1, a, messages));
    a.sortByPersonnel();
    EXPECT_EQ(a.records()[0].badge, "0500000037");  // "00000037" < "00003039" < "3B9AC9FF"
    EXPECT_EQ(a.records()[1].badge, "0100003039");
    EXPECT_EQ(a.records()[2].badge, "633B9AC9FF");

    // A template file gone before a save: the question, and Yes skips it.
    fs::remove(a.pathOf(0));
    prompt.script({Answer::Yes});
    ASSERT_TRUE(saveFingerprintFile(dir / "out2.txt", a, messages));
    EXPECT_EQ(prompt.texts().back(), "Errore lettura template " + a.records()[0].templateFile +
                                         " (codice 0500000037). Continuare?");
    EXPECT_EQ(dir.read("out2.txt"), dir.read("emb.txt"));
  }
  // Closing the lists removes every template file they made.
  EXPECT_TRUE(tplFiles(work).empty());
}

TEST(FingerprintTransfer, SendAndReceiveThroughTheTerminal) {
  SimLine line("LX-K2");
  ASSERT_TRUE(line.opened);
  TempDir dir;
  FingerprintList list(dir.path());
  ASSERT_TRUE(list.append("0100003039", templ(1)));
  ASSERT_TRUE(list.append("0A00000001", templ(7)));
  ASSERT_TRUE(list.append("6300000002", templ(200)));
  // The terminal already holds a record: the clear removes it.
  line.terminal([](sim::SimTerminal& t) { t.tables[sim::kSimFingerprintKey].push_back("0000000009" + templ(0)); });

  // The second template file is spoiled: the question, Yes skips it.
  dir.write("tmp00002.tpl", templ(7).substr(0, 767) + "G");
  line.prompt.script({Answer::Yes});
  Worker worker;
  TableEnd end = TableEnd::Failed;
  runHeadless(worker, line.messages, [&](Worker& w) { end = sendFingerprints(w, line.link, line.messages, list, true); },
              60000);
  ASSERT_EQ(end, TableEnd::Done);
  EXPECT_EQ(line.prompt.texts(),
            std::vector<std::string>{"Errore lettura template tmp00002.tpl (codice 0A00000001). Continuare?"});
  auto requests = line.server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].substr(0, 7), std::string("\x01" "01\x02" "4C\x03", 7)) << hexDump(requests[0]);
  EXPECT_EQ(requests[1].size(), 787u);
  EXPECT_EQ(requests[1].substr(0, 6 + 10 + 768), "\x01" "01\x02" "4A0100003039" + templ(1)) << hexDump(requests[1]);
  EXPECT_EQ(requests[1][784], '\x03');
  EXPECT_EQ(requests[1][786], '\r');
  auto held = line.terminal([](sim::SimTerminal& t) { return t.tables[sim::kSimFingerprintKey]; });
  EXPECT_EQ(held, (std::vector<std::string>{"0100003039" + templ(1), "6300000002" + templ(200)}));

  // Receive: indices from 1; the free slot after the last record asks once
  // (No ends the table there). The list is replaced.
  line.server.clearRequests();
  line.prompt.clear();
  FingerprintList back(dir.path() / "r");
  fs::create_directory(dir / "r");
  ASSERT_TRUE(back.append("0000000005", templ(3)));
  runHeadless(worker, line.messages, [&](Worker& w) { end = receiveFingerprints(w, line.link, line.messages, back); },
              60000);
  ASSERT_EQ(end, TableEnd::Done);
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"480001", "480002", "480003"}));
  EXPECT_EQ(line.prompt.texts(), std::vector<std::string>{kEmptyRecordQuestion});
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back.records()[0].badge, "0100003039");
  EXPECT_EQ(back.records()[0].templateFile, "tmp00001.tpl");
  EXPECT_EQ(back.readTemplate(0), templ(1));
  EXPECT_EQ(back.records()[1].badge, "6300000002");
  EXPECT_EQ(back.readTemplate(1), templ(200));
  EXPECT_EQ(tplFiles(dir / "r"), (std::vector<std::string>{"tmp00001.tpl", "tmp00002.tpl"}));

  // Unattended (show-link-errors cleared) the free slot ends it without a question.
  line.prompt.clear();
  {
    MessageFlagsGuard quiet(line.messages.flags, false, false);
    runHeadless(worker, line.messages,
                [&](Worker& w) { end = receiveFingerprints(w, line.link, line.messages, back); }, 60000);
  }
  EXPECT_EQ(end, TableEnd::Done);
  EXPECT_EQ(line.prompt.count(), 0u);
  EXPECT_EQ(back.size(), 2u);
}

}  // namespace
}  // namespace cfg
