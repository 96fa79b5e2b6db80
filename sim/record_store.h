// A terminal's record memory for one record kind.
//
// Records sit in a ring, oldest first, each with a 16-bit pointer that grows
// by one per record (modulo the ring size). The newest records not yet
// acknowledged form the queue that "next" and "acknowledge" walk; reading by
// index reaches every stored record, 1 being the newest, acknowledged or not.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace cfg::sim {

class RecordStore {
 public:
  // Every record of this kind has this many bytes after its pointer.
  explicit RecordStore(std::size_t bodyLength) : bodyLength_(bodyLength) {}

  // `bodyAfterPointer`: reply bytes 10 onwards up to ETX (the pointer is added here).
  void add(std::string bodyAfterPointer);
  void clear();

  std::size_t stored() const { return ring_.size(); }
  std::size_t unacknowledged() const { return unacked_; }
  // Pointer the oldest unacknowledged record has (or the next new one when none).
  std::uint16_t firstUnacknowledged() const;

  // "pointer + body" of the oldest unacknowledged record.
  std::optional<std::string> next() const;
  // Acknowledges the oldest unacknowledged record when `pointer` is its pointer.
  bool acknowledge(std::uint16_t pointer);
  // Acknowledges from `start` up to, not including, `next` (the streaming close).
  bool acknowledgeRun(std::uint16_t start, std::uint16_t next);
  // Record by index, 1 = newest; an index past the stored records but inside
  // the ring reads as an empty slot (all digits zero); past the ring: nothing.
  std::optional<std::string> byIndex(unsigned index) const;
  // The stored record with this pointer.
  std::optional<std::string> byPointer(std::uint16_t pointer) const;

  std::uint32_t ringSize() const { return ringSize_; }
  void setRingSize(std::uint32_t size);
  // Pointer the next added record gets (to test the wrap of the pointer).
  void setNextPointer(std::uint16_t pointer) { nextPointer_ = pointer % ringSize_; }

  // Bodies of the unacknowledged records, oldest first, as pointer + body.
  std::vector<std::string> pending() const;

 private:
  struct Entry {
    std::uint16_t pointer;
    std::string body;
  };
  std::string withPointer(const Entry& e) const;

  std::deque<Entry> ring_;
  std::size_t unacked_ = 0;
  std::uint16_t nextPointer_ = 0;
  std::uint32_t ringSize_ = 16384;
  std::size_t bodyLength_;
};

}  // namespace cfg::sim
