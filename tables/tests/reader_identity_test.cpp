// The handheld's reader identification in its slot ring, against termsim.
#include <gtest/gtest.h>

#include "link/tests/sim_line.h"
#include "tables/reader_identity.h"

namespace cfg {
namespace {

using test::SimLine;

TableEnd runWorker(SimLine& line, std::function<TableEnd(Worker&)> body) {
  Worker worker;
  TableEnd end = TableEnd::Failed;
  runHeadless(worker, line.messages, [&](Worker& w) { end = body(w); }, 60000);
  return end;
}

TEST(ReaderIdentity, SendMovesToTheNextSlotThenReceiveReadsItBack) {
  SimLine line("HND  ");
  ASSERT_TRUE(line.opened);
  // Nothing in force: nothing is written.
  ReaderIdentity id;
  ASSERT_TRUE(id.set("0A1B2C3D4E", "MAGAZZINO", "TURNO A"));
  EXPECT_FALSE(id.set("0a1b2c3d4e", "", ""));
  EXPECT_FALSE(id.set("0A1B2C3D4", "", ""));
  bool found = true;
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return sendReaderIdentity(w, line.link, line.messages, id, found); }),
            TableEnd::Done);
  EXPECT_FALSE(found);
  EXPECT_EQ(line.terminal([](sim::SimTerminal& t) { return t.peek(0x27E080); }), 0xFF);

  // Slot 2 in force: the new one goes to slot 3, slot 2 is invalidated after it, then "30".
  line.terminal([](sim::SimTerminal& t) {
    for (std::uint32_t i = 0; i < 128; ++i) t.poke(0x27E100 + i, static_cast<std::uint8_t>(i == 0 ? 1 : 0x41));
  });
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return sendReaderIdentity(w, line.link, line.messages, id, found); }),
            TableEnd::Done);
  EXPECT_TRUE(found);
  auto sent = line.commands();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[sent.size() - 2], "2E27E100" "00414141");
  EXPECT_EQ(sent.back(), "30");
  EXPECT_EQ(line.terminal([](sim::SimTerminal& t) { return t.peek(0x27E180 + 6); }), 'M');

  ReaderIdentity back;
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveReaderIdentity(w, line.link, line.messages, back); }),
            TableEnd::Done);
  EXPECT_TRUE(back.found);
  EXPECT_EQ(back.id(), "0A1B2C3D4E");
  EXPECT_EQ(back.description1(), "MAGAZZINO");
  EXPECT_EQ(back.description2(), "TURNO A");
  EXPECT_EQ(back.bytes[127], 0x00);  // the rest as it was sent (zeros of a fresh record)
}

}  // namespace
}  // namespace cfg
