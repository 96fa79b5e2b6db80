#include "link/transaction.h"

#include "link/frame.h"

namespace cfg {

namespace {

constexpr int kModemExtraMs = 3000;
constexpr int kSingleAttemptExtraMs = 5000;

int withModem(const Link& link, int timeoutMs) {
  return link.config.modem ? timeoutMs + kModemExtraMs : timeoutMs;
}

}  // namespace

bool askRetry(const Messages& messages, const char* text) {
  return messages.ask({text, kErrorTitle, Icon::Error, Buttons::RetryCancel, Answer::Retry, true}) ==
         Answer::Retry;
}

TxResult transact(Link& link, const Messages& messages, std::string& frame, std::string& reply,
                  std::size_t capacity, int timeoutMs, int expectedLength) {
  sealMain(frame);
  int timeout = withModem(link, timeoutMs);
  int attempts = 3;
  if (isSingleAttemptModel(link.config.model)) {
    attempts = 1;
    timeout += kSingleAttemptExtraMs;
  }
  for (;;) {
    bool nakSeen = false;
    for (int attempt = 0; attempt < attempts; ++attempt) {
      reply.clear();
      link.send(frame);
      int n = link.receiveFrame(reply, capacity, timeout);
      if (link.trace) link.trace->verdict(link.kind(), receiveVerdict(n, reply, expectedLength));
      if (n == 6 && reply[3] != ACK) {
        // A short reply that is not the ACK asked for.
        if (reply[3] == NAK) nakSeen = true;
        continue;
      }
      if (expectedLength == kAnyValidReply ? n >= 6 : (n == expectedLength || n >= 9)) return {true, n};
    }
    if (!messages.flags.askOnFailure.load()) return {};
    if (!askRetry(messages, nakSeen ? kNakMessage : kNoAnswerMessage)) return {};
  }
}

TxResult exchange(Link& link, const Messages& messages, std::string_view commandAndData,
                  std::string& reply, std::size_t capacity, int timeoutMs, int expectedLength) {
  std::string frame = buildRequest(link.config.address, commandAndData);
  return transact(link, messages, frame, reply, capacity, timeoutMs, expectedLength);
}

TxResult transactXor(Link& link, const Messages& messages, std::string& frame, std::string& reply,
                     std::size_t capacity, int timeoutMs, int expectedLength) {
  sealXor(frame);
  int timeout = withModem(link, timeoutMs);
  for (;;) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      reply.clear();
      link.send(frame);
      int n = link.receiveXorFrame(reply, capacity, timeout);
      if (n == expectedLength || n == 9) return {true, n};
    }
    if (!askRetry(messages, kNoAnswerMessage)) return {};
  }
}

TxResult transactPacket(Link& link, const Messages& messages, std::string& packet, std::string& reply,
                        std::size_t capacity, int timeoutMs, int expectedLength) {
  sealPacket(packet);
  for (;;) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      reply.clear();
      link.send(packet);
      int n = link.receivePacket(reply, capacity, timeoutMs);
      if (n == expectedLength) return {true, n};
    }
    if (!messages.flags.askOnFailure.load()) return {};
    if (!askRetry(messages, kNoAnswerMessage)) return {};
  }
}

}  // namespace cfg
