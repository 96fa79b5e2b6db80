#include "sim/record_store.h"

#include "link/hex.h"

namespace cfg::sim {

namespace {

std::string hex16(std::uint16_t v) {
  return byteToHex(static_cast<std::uint8_t>(v >> 8)) + byteToHex(static_cast<std::uint8_t>(v));
}

}  // namespace

void RecordStore::add(std::string body) {
  body.resize(bodyLength_, '0');
  ring_.push_back({nextPointer_, std::move(body)});
  nextPointer_ = static_cast<std::uint16_t>((nextPointer_ + 1u) % ringSize_);
  ++unacked_;
  // The ring overwrites its oldest record, acknowledged or not.
  if (ring_.size() > ringSize_) {
    ring_.pop_front();
    if (unacked_ > ring_.size()) unacked_ = ring_.size();
  }
}

void RecordStore::clear() {
  ring_.clear();
  unacked_ = 0;
}

void RecordStore::setRingSize(std::uint32_t size) {
  ringSize_ = size == 0 ? 1 : size;
  nextPointer_ = static_cast<std::uint16_t>(nextPointer_ % ringSize_);
}

std::uint16_t RecordStore::firstUnacknowledged() const {
  if (unacked_ == 0) return nextPointer_;
  return ring_[ring_.size() - unacked_].pointer;
}

std::string RecordStore::withPointer(const Entry& e) const { return hex16(e.pointer) + e.body; }

std::optional<std::string> RecordStore::next() const {
  if (unacked_ == 0) return std::nullopt;
  return withPointer(ring_[ring_.size() - unacked_]);
}

bool RecordStore::acknowledge(std::uint16_t pointer) {
  if (unacked_ == 0 || ring_[ring_.size() - unacked_].pointer != pointer) return false;
  --unacked_;
  return true;
}

bool RecordStore::acknowledgeRun(std::uint16_t start, std::uint16_t next) {
  if (unacked_ == 0 || firstUnacknowledged() != start) return false;
  std::size_t count = (static_cast<std::uint32_t>(next) + ringSize_ - start) % ringSize_;
  unacked_ -= std::min(count, unacked_);
  return true;
}

std::optional<std::string> RecordStore::byIndex(unsigned index) const {
  if (index == 0 || index > ringSize_) return std::nullopt;
  if (index <= ring_.size()) return withPointer(ring_[ring_.size() - index]);
  return std::string(4 + bodyLength_, '0');
}

std::optional<std::string> RecordStore::byPointer(std::uint16_t pointer) const {
  for (const auto& e : ring_)
    if (e.pointer == pointer) return withPointer(e);
  return std::nullopt;
}

std::vector<std::string> RecordStore::pending() const {
  std::vector<std::string> out;
  for (std::size_t i = ring_.size() - unacked_; i < ring_.size(); ++i) out.push_back(withPointer(ring_[i]));
  return out;
}

}  // namespace cfg::sim
