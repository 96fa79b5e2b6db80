#include "maintenance/firmware.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "link/fd.h"
#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"
#include "records/acquisition.h"

namespace cfg {

namespace {

constexpr std::size_t kCheckedPart = 1024 * kFirmwareBlock;  // the first XOR check covers 128 KiB
constexpr std::size_t kUsbPiece = 32;
// A handheld that keeps sending Frames instead of its prompt is not waited for forever.
constexpr int kMaxIgnoredFrames = 10;

bool isHandheld(std::string_view model) { return sameModel(model, "HND  "); }

// Retry/Cancel after the stated attempts; an unattended run takes Cancel.
bool retryAfterSilence(const Messages& messages) {
  if (!messages.flags.askOnFailure.load()) return false;
  return askRetry(messages, kNoAnswerMessage);
}

std::uint16_t xorWords(const std::uint8_t* p, std::size_t n) {
  std::uint16_t x = 0;
  for (std::size_t i = 0; i + 1 < n; i += 2) x ^= static_cast<std::uint16_t>(p[i] | p[i + 1] << 8);
  return x;
}

char lastByte(const std::string& s) { return s.empty() ? '\0' : s.back(); }

// Enters a fixed terminal's loader; true once it answered (and, in
// `startSeen`, whether its answer already ended with the NAK asking for block 1).
bool enterLoader(Worker& worker, const FirmwareJob& job, bool& startSeen) {
  std::string command = "33";
  if (job.target != FirmwareTarget::Terminal) command += byteToHex(static_cast<std::uint8_t>(job.target));
  std::string frame = buildRequest(job.link.config.address, command);
  sealMain(frame);
  bool k5 = sameModel(job.link.config.model, "LX-K5");
  std::string reply;
  for (;;) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (worker.stopRequested()) return false;
      job.link.send(frame);
      job.link.receiveUntilPrompt(reply, 255, 500);
      char last = lastByte(reply);
      if (!reply.empty() && (last == CR || last == '?' || last == NAK || (k5 && last == 'r'))) {
        startSeen = last == NAK;
        return true;
      }
    }
    if (worker.stopRequested() || !retryAfterSilence(job.messages)) return false;
  }
}

// Waits for the loader's NAK: series of 10 receives of 500 ms. A handheld's
// NAK comes first in its reply, a fixed terminal's last.
bool waitForStart(Worker& worker, const FirmwareJob& job, bool nakFirst) {
  std::string reply;
  for (;;) {
    for (int i = 0; i < 10; ++i) {
      if (worker.stopRequested()) return false;
      job.link.receiveUntilPrompt(reply, 255, 500);
      if (!reply.empty() && (nakFirst ? reply.front() : reply.back()) == NAK) return true;
    }
    if (worker.stopRequested() || !retryAfterSilence(job.messages)) return false;
  }
}

// The handheld's prompt: 16 bytes with '?' at position 15. Frames that
// arrive meanwhile do not count as attempts.
bool waitForHandheldPrompt(Worker& worker, const FirmwareJob& job) {
  std::string reply;
  int ignored = 0;
  for (;;) {
    for (int attempt = 0; attempt < 3;) {
      if (worker.stopRequested()) return false;
      job.link.receiveUntilPrompt(reply, 255, 3000);
      if (!reply.empty() && reply.front() == SOH && ignored < kMaxIgnoredFrames) {
        ++ignored;
        continue;
      }
      if (reply.size() >= 16 && reply[15] == '?') return true;
      ++attempt;
    }
    if (worker.stopRequested() || !retryAfterSilence(job.messages)) return false;
  }
}

// Sends every transfer block; true when the loader acknowledged them all.
bool sendBlocks(Worker& worker, const FirmwareJob& job, FirmwareRun& run, bool handheld) {
  std::size_t piece = handheld ? transferPieceSize(job.link.config) : kFirmwareBlock;
  std::size_t count = handheld ? transferBlockCount(job.link.config, job.image) : job.image.blocks();
  std::size_t replyCapacity = piece == kUsbPiece ? 64 : 255;
  std::string_view data(reinterpret_cast<const char*>(job.image.bytes.data()), job.image.bytes.size());
  std::string reply;
  for (std::size_t b = 0; b < count; ++b) {
    std::string block = transferBlock(data.substr(b * piece, piece), b + 1);
    int sendings = 0;
    for (;;) {
      if (worker.stopRequested()) return false;
      job.link.send(block);
      bool acked = false;
      if (handheld) {
        job.link.receiveUntilPrompt(reply, replyCapacity, 500);
        acked = !reply.empty() && reply.front() == ACK;
      } else {
        // The loader's answer ends in ACK or NAK; anything else is waited past.
        for (int i = 0; i < 10; ++i) {
          job.link.receiveUntilPrompt(reply, replyCapacity, 500);
          char last = lastByte(reply);
          if (last == ACK || last == NAK) {
            acked = last == ACK;
            break;
          }
          if (worker.stopRequested()) return false;
        }
      }
      if (acked) break;
      if (++sendings < 3) continue;
      if (worker.stopRequested() || !retryAfterSilence(job.messages)) return false;
      sendings = 0;
    }
    run.blocksSent = b + 1;
    worker.refresh(0, static_cast<int>(b + 1), {});
  }
  return true;
}

}  // namespace

bool firmwareChecksHold(const std::vector<std::uint8_t>& bytes) {
  std::size_t first = std::min(bytes.size(), kCheckedPart);
  if (xorWords(bytes.data(), first) != 0xFFFF) return false;
  if (bytes.size() >= kCheckedPart && xorWords(bytes.data() + first, bytes.size() - first) != 0xFFFF) return false;
  return true;
}

bool loadFirmwareFile(const std::filesystem::path& path, std::string_view model, FirmwareTarget target,
                      FirmwareImage& image) {
  image.bytes.clear();
  // Non-blocking open: a FIFO or a device named by mistake must not hang the program.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st{};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::vector<std::uint8_t> bytes;
  std::uint8_t block[kFirmwareBlock];
  for (;;) {
    std::size_t got = 0;
    while (got < sizeof block) {
      ssize_t n = ::read(fd.get(), block + got, sizeof block - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got == 0) break;
    if (got < sizeof block) return false;                          // not whole blocks
    if (bytes.size() / kFirmwareBlock >= kFirmwareMaxBlocks) return false;  // does not fit the image buffer
    bytes.insert(bytes.end(), block, block + sizeof block);
  }
  std::size_t blocks = bytes.size() / kFirmwareBlock;
  if (target == FirmwareTarget::Terminal && (sameModel(model, "LX-P1") || sameModel(model, "LX-K3")) &&
      blocks != kFixedImageBlocks)
    return false;
  if (!firmwareChecksHold(bytes)) return false;
  image.bytes = std::move(bytes);
  return true;
}

std::string transferBlock(std::string_view data, std::size_t number) {
  auto n = static_cast<std::uint8_t>(number & 0xFF);
  std::string block;
  block.reserve(data.size() + 4);
  block += SOH;
  block += static_cast<char>(n);
  block += static_cast<char>(255 - n);
  block += data;
  unsigned sum = 0;
  for (char c : data) sum += static_cast<std::uint8_t>(c);
  block += static_cast<char>(sum & 0xFF);
  return block;
}

std::size_t transferPieceSize(const LinkConfig& link) {
  return isHandheld(link.model) && linkKindOf(link) == LinkKind::Usb ? kUsbPiece : kFirmwareBlock;
}

std::size_t transferBlockCount(const LinkConfig& link, const FirmwareImage& image) {
  return image.bytes.size() / transferPieceSize(link);
}

std::string recordWarningText(int count) {
  char text[160];
  std::snprintf(text, sizeof text, "ATTENZIONE! Rilevate %d transazioni %s", count,
                "non scaricate che verranno cancellate. Continuare?");
  return text;
}

void downloadFirmware(Worker& worker, const FirmwareJob& job, FirmwareRun& run) {
  if (worker.stopRequested() || job.image.blocks() == 0) return;
  bool handheld = isHandheld(job.link.config.model);
  if (handheld) {
    std::string reply;
    if (!exchange(job.link, job.messages, "33", reply, 64, 200, 6)) return;
    if (!waitForHandheldPrompt(worker, job) || !waitForStart(worker, job, true)) return;
  } else {
    // The new firmware starts with an empty record memory.
    if (job.target == FirmwareTarget::Terminal && job.messages.flags.showLinkErrors.load()) {
      std::optional<int> count = readRecordCount(job.link, job.messages, RecordKind::Attendance, 250);
      if (count && *count > 0) {
        Answer a = job.messages.ask({recordWarningText(*count), kQuestionTitle, Icon::Question, Buttons::YesNo,
                                     Answer::No, true});
        if (a != Answer::Yes) {
          run.declined = true;
          return;
        }
      }
    }
    bool startSeen = false;
    if (!enterLoader(worker, job, startSeen)) return;
    if (!startSeen && !waitForStart(worker, job, false)) return;
  }
  if (!sendBlocks(worker, job, run, handheld)) return;
  // EOT only after a whole image: a loader told "done" half way would keep a truncated firmware.
  if (worker.pause(250)) return;
  std::string answer;
  job.link.send(std::string(1, EOT));
  job.link.receiveUntilPrompt(answer, handheld ? 64 : 256, handheld ? 200 : 1500);
  run.completed = true;
  worker.pause(300);
}

}  // namespace cfg
