#include "cards/card_worker.h"

#include <algorithm>
#include <cstdio>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"

namespace cfg::cards {

// --- session ---

bool CardSession::request(Operation op) { return request(op, view().serial); }

bool CardSession::request(Operation op, const std::string& serial) {
  if (pending_.load() != 0 || op == Operation::None || serial.empty()) return false;
  remembered_ = serial;
  pending_.store(static_cast<int>(op));
  return true;
}

std::string CardSession::addRefusal() const {
  const CardView v = view();
  if (v.serial.empty()) return kNoCardPresent;
  if (v.present >= v.offered) return kNoSpace;
  return {};
}

std::string CardSession::eraseRefusal() const {
  const CardView v = view();
  if (v.serial.empty()) return kNoCardPresent;
  if (v.present == 0) return kNoTemplateToErase;
  return {};
}

CardView CardSession::view() const {
  std::lock_guard lock(mutex_);
  return view_;
}

std::string CardSession::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void CardSession::setView(CardView view) {
  std::lock_guard lock(mutex_);
  view_ = std::move(view);
}

void CardSession::setStatus(std::string text) {
  std::lock_guard lock(mutex_);
  status_ = std::move(text);
}

// --- worker ---

namespace {

constexpr int kShortTimeoutMs = 750;
constexpr int kLongTimeoutMs = 1500;
constexpr std::size_t kReplyCapacity = 1024;
constexpr int kPassPauseMs = 50;
constexpr int kErrorPauseMs = 500;

std::string hex2(int v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(v) & 0xFFu);
  return buf;
}

// The card command of the family: "30" / "40", "31" / "41", ...
std::string code(Family f, int n) {
  return {f == Family::F3x ? '3' : '4', static_cast<char>('0' + n)};
}

// One reader command; its two-character status and the data after it, or
// nothing when the transaction failed (no answer after Retry/Cancel).
struct Answer2 {
  std::string status;
  std::string data;
  bool ok() const { return status == "00"; }
};

class Reader {
 public:
  Reader(Link& link, const Messages& messages) : link_(link), messages_(messages) {}

  std::optional<Answer2> command(const std::string& commandAndData, int expected, int timeoutMs) {
    std::string frame = buildRequest(link_.config.address, commandAndData);
    std::string reply;
    TxResult r = transactXor(link_, messages_, frame, reply, kReplyCapacity, timeoutMs, expected);
    if (!r) return std::nullopt;
    Answer2 a;
    if (reply.size() >= 9) {
      a.status = reply.substr(4, 2);
      a.data = reply.substr(6, reply.size() - 9);
    }
    return a;
  }

  std::optional<Answer2> loadKey(const std::string& mode, const std::string& key) {
    return command("50" + mode + key, 9, kShortTimeoutMs);
  }
  std::optional<Answer2> look(Family f) { return command(code(f, 0), 17, kShortTimeoutMs); }
  std::optional<Answer2> readBlocks(Family f, const std::string& serial, int first, int count) {
    return command(code(f, 3) + serial + hex2(first) + hex2(count), 9 + 32 * count,
                   kLongTimeoutMs);
  }
  std::optional<Answer2> readBlock(Family f, const std::string& serial, int block) {
    return command(code(f, 1) + serial + hex2(block), 41, kShortTimeoutMs);
  }
  std::optional<Answer2> writeBlock(Family f, const std::string& serial, int block, const Block& b) {
    return command(code(f, 2) + serial + hex2(block) + blockHex(b), 9, kLongTimeoutMs);
  }

 private:
  Link& link_;
  const Messages& messages_;
};

// Blocks of a "read blocks" reply; nothing when the data is short or not hex.
template <std::size_t N>
std::optional<std::array<Block, N>> blocksOf(const std::string& data) {
  if (data.size() < 32 * N) return std::nullopt;
  std::array<Block, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    auto b = blockOfHex(std::string_view(data).substr(32 * i, 32));
    if (!b) return std::nullopt;
    out[i] = *b;
  }
  return out;
}

// Thrown out of a pass when a reader transaction failed: the worker ends.
struct ReaderGone {};

template <typename T>
T need(std::optional<T> v) {
  if (!v) throw ReaderGone{};
  return std::move(*v);
}

class Poller {
 public:
  Poller(Worker& worker, Link& link, const Messages& messages, CardSession& session)
      : worker_(worker), reader_(link, messages), session_(session) {}

  void run() {
    try {
      while (!worker_.stopRequested()) {
        if (!pass()) continue;
        if (worker_.pause(kPassPauseMs)) return;
      }
    } catch (const ReaderGone&) {
      session_.markReaderFailed();
    }
  }

 private:
  void status(const std::string& text) {
    session_.setStatus(text);
    worker_.refresh(kRefreshStatus, 0, text);
  }
  void forget() {
    known_.clear();
    cardError_.clear();
    view_ = CardView{};
  }

  // One pass; false when no card answered (the next pass follows at once).
  bool pass() {
    const Operation op = session_.pending();
    if (known_.empty() && !lastFound_) {
      // Once per change of the text.
      const std::string prompt = op == Operation::None ? kBringCard : kBringPreviousCard;
      if (session_.status() != prompt) status(prompt);
    }
    Answer2 found = need(reader_.look(family_));
    lastFound_ = found.ok() && found.data.size() >= 8;
    if (!lastFound_) {
      if (!known_.empty()) {
        forget();
        session_.setView(view_);
        worker_.refresh(kRefreshNoCard, 0, {});
      }
      family_ = otherFamily(family_);
      return false;
    }
    const std::string serial = upperHex(found.data.substr(0, 8));
    std::string error;
    const bool writing = op == Operation::Write || op == Operation::WriteAndEraseRecords;
    if (serial != known_ || writing) {
      cardError_ = readCard(serial);
      known_ = serial;  // not read again while it stays, unless to be written
    }
    error = cardError_;

    if (writing && !error.empty() && serial == session_.remembered()) session_.finish();  // cannot be written
    if (writing && error.empty()) {
      if (serial != session_.remembered()) {
        error = kCardSwapped;
        session_.finish();
      } else {
        error = writeCard(serial, op);
        session_.finish();
      }
    }
    if (error.empty() && view_.initialised) error = readHolder(serial);
    if (error.empty() && view_.initialised) error = countTemplates(serial);
    if (error.empty() && !view_.initialised) error = kNotInitialised;

    // The card is published even with an error, so that a card of another
    // format can be chosen for writing.
    session_.setView(view_);
    if (error.empty()) {
      worker_.refresh(kRefreshCardRead, 0, {});
      status("");
    } else {
      status(error);
      if (worker_.pause(kErrorPauseMs)) return true;
    }

    const Operation now = session_.pending();
    if (now == Operation::AddTemplate || now == Operation::EraseTemplates) {
      if (!error.empty() && serial == session_.remembered()) {
        session_.finish();  // the card cannot take it; the status tells why
      } else if (serial != session_.remembered()) {
        status(kCardSwapped);
        worker_.pause(kErrorPauseMs);
      } else if (now == Operation::AddTemplate) {
        addTemplate(serial);
      } else {
        eraseTemplates(serial);
      }
      session_.finish();
    }
    return true;
  }

  static std::string upperHex(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return s;
  }

  // Steps a-d: key, label and format letter. "" when the card may be used
  // (a card of another format may still be written).
  std::string readCard(const std::string& serial) {
    forget();
    status(kReading);
    const std::string key = derivedKey(serial).value_or("");
    if (!need(reader_.loadKey("00", key)).ok()) return kLoginError;
    Answer2 head = need(reader_.readBlocks(family_, serial, 1, 2));
    auto blocks = blocksOf<2>(head.data);
    if (!head.ok() || !blocks) return kReadError;
    auto label = parseLabel((*blocks)[0]);
    if (!label) return kUnknownCard;
    view_.serial = serial;
    view_.family = family_;
    view_.is4k = label->is4k;
    view_.version = label->version;
    view_.offered = templatesOffered((*blocks)[0], family_);
    view_.initialised = (*blocks)[1][0] == static_cast<std::uint8_t>(session_.letter());
    return {};
  }

  std::string writeCard(const std::string& serial, Operation op) {
    status(kWriting);
    const char letter = session_.letter();
    const bool holder = letter == 'A' || letter == 'B';
    const bool v2 = view_.version == '2';
    const std::string key = derivedKey(serial).value_or("");
    if (holder) {
      if (v2 && !need(reader_.loadKey("01", key)).ok()) return kWriteError;
      const int first = holderFirstBlock(family_);
      std::vector<Block> blocks;
      if (letter == 'A') {
        auto a = encodeA(session_.writeA, serial);
        blocks.assign(a.begin(), a.end());
      } else {
        auto b = encodeB(session_.writeB);
        blocks.assign(b.begin(), b.end());
      }
      for (std::size_t i = 0; i < blocks.size(); ++i)
        if (!need(reader_.writeBlock(family_, serial, first + static_cast<int>(i), blocks[i])).ok()) return kWriteError;
      if (v2 && !need(reader_.loadKey("00", key)).ok()) return kWriteError;
    }
    if (!need(reader_.writeBlock(family_, serial, 2, formatBlock(letter))).ok()) return kWriteError;
    if (letter == 'A' && op == Operation::WriteAndEraseRecords && family_ == Family::F4x) {
      for (int b = kRecordAreaFirst; b <= kRecordAreaLast; ++b) {
        if (isSectorTrailer(b)) continue;
        if (v2 && !need(reader_.loadKey("00", key)).ok()) return kWriteError;
        if (!need(reader_.writeBlock(family_, serial, b, recordAreaBlock(b))).ok()) return kWriteError;
      }
    }
    view_.initialised = true;
    return {};
  }

  std::string readHolder(const std::string& serial) {
    const char letter = session_.letter();
    view_.a.reset();
    view_.b.reset();
    if (letter != 'A' && letter != 'B') return {};
    const bool v2 = view_.version == '2';
    if (v2 && !need(reader_.loadKey("00", kStoredKey)).ok()) return kLoginError;
    const int first = holderFirstBlock(family_);
    std::string error;
    if (letter == 'A') {
      Answer2 r = need(reader_.readBlocks(family_, serial, first, 3));
      auto blocks = blocksOf<3>(r.data);
      if (!r.ok() || !blocks) {
        error = kReadError;
      } else {
        switch (verifyA(*blocks, serial)) {
          case CheckA::Crc1: error = kCrc1Error; break;
          case CheckA::Crc2: error = kCrc2Error; break;
          case CheckA::Crc3: error = kCrc3Error; break;
          case CheckA::Ok: view_.a = decodeA(*blocks); break;
        }
      }
    } else {
      Answer2 r = need(reader_.readBlocks(family_, serial, first, 2));
      auto blocks = blocksOf<2>(r.data);
      if (!r.ok() || !blocks)
        error = kReadError;
      else if (!verifyB(*blocks))
        error = kCrcError;
      else
        view_.b = decodeB(*blocks);
    }
    if (v2) {
      const std::string key = derivedKey(serial).value_or("");
      if (!need(reader_.loadKey("00", key)).ok() && error.empty()) error = kLoginError;
    }
    return error;
  }

  std::string countTemplates(const std::string& serial) {
    view_.present = 0;
    free_.clear();
    const auto starts = templateStarts(family_);
    for (std::size_t k = 0; k < starts.size(); ++k) {
      Answer2 r = need(reader_.readBlock(family_, serial, starts[k]));
      auto b = r.ok() && r.data.size() >= 32 ? blockOfHex(std::string_view(r.data).substr(0, 32)) : std::nullopt;
      if (!b) return kTemplatesReadError;
      if (allZero(*b))
        free_.push_back(static_cast<int>(k));
      else
        ++view_.present;
    }
    return {};
  }

  void addTemplate(const std::string& serial) {
    status(kWriting);
    // The next free template: the first area, among those offered, whose start block is all zero.
    int k = -1;
    for (int f : free_)
      if (f < view_.offered) {
        k = f;
        break;
      }
    std::string bytes;
    for (std::size_t i = 0; i + 1 < session_.templateDigits.size(); i += 2) {
      int v = hexPairAt(session_.templateDigits, i);
      bytes += static_cast<char>(v < 0 ? 0 : v);
    }
    if (k < 0 || bytes.size() != kCardTemplateBytes) {
      status(k < 0 ? kNoSpace : kTemplateWriteError);
      worker_.pause(kErrorPauseMs);
      return;
    }
    const auto blocks = templateBlocks(family_, k);
    // From the last block down, so that the start block, which tells the
    // template is there, is written last.
    for (std::size_t i = blocks.size(); i-- > 0;) {
      Block b{};
      for (std::size_t j = 0; j < 16; ++j) b[j] = static_cast<std::uint8_t>(bytes[16 * i + j]);
      if (!need(reader_.writeBlock(family_, serial, blocks[i], b)).ok()) {
        status(kTemplateWriteError);
        worker_.pause(kErrorPauseMs);
        return;
      }
    }
    free_.erase(std::find(free_.begin(), free_.end(), k));
    ++view_.present;
    session_.setView(view_);
    worker_.refresh(kRefreshCardRead, 0, {});
    status("");
  }

  void eraseTemplates(const std::string& serial) {
    status(kWriting);
    for (int start : templateStarts(family_)) {
      if (!need(reader_.writeBlock(family_, serial, start, Block{})).ok()) {
        status(kTemplatesEraseError);
        worker_.pause(kErrorPauseMs);
        return;
      }
    }
    view_.present = 0;
    free_.clear();
    for (int i = 0; i < static_cast<int>(templateStarts(family_).size()); ++i) free_.push_back(i);
    session_.setView(view_);
    worker_.refresh(kRefreshCardRead, 0, {});
    status("");
  }

  Worker& worker_;
  Reader reader_;
  CardSession& session_;
  Family family_ = Family::F3x;
  std::string known_;
  bool lastFound_ = false;
  std::string cardError_;  // what reading the known card found wrong
  CardView view_;
  std::vector<int> free_;  // template areas whose start block is zero, ascending
};

}  // namespace

void runCardWorker(Worker& worker, Link& link, const Messages& messages, CardSession& session) {
  Poller(worker, link, messages, session).run();
}

}  // namespace cfg::cards
