#include "tables/table_list.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "tables/production.h"

namespace cfg {

namespace {

// Columns of a record line: start and width of each field.
struct Column {
  std::size_t at;
  std::size_t width;
};

std::vector<Column> columnsOf(TableId id) {
  switch (id) {
    case TableId::Users: return {{0, 2}, {3, 9}, {13, 4}, {18, 10}, {29, 4}, {34, 3}, {38, 3}, {42, 3}};
    case TableId::Policies: return {{0, 3}, {4, 5}, {10, 5}, {16, 8}};
    case TableId::Sirens: return {{0, 1}, {2, 5}, {8, 8}, {17, 2}};
    case TableId::Messages: return {{0, 2}, {3, 9}, {13, 16}};
    case TableId::ExitDirection: return {{0, 5}, {6, 5}, {12, 8}};
    case TableId::Justifications: return {{0, 5}, {6, 16}};
    case TableId::Holidays: return {{0, 5}};
    case TableId::Sites:
    case TableId::Activities: return {{0, 10}, {11, 16}};
    case TableId::ProductionProgram: return {{0, 5}, {6, 16}};
    case TableId::ProductionTables: return {{0, 3}, {8, 16}, {25, 15}};
  }
  return {};
}

std::string cut(const std::string& record, Column c) {
  if (c.at >= record.size()) return {};
  std::string s = record.substr(c.at, c.width);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

TableSession& tableSession() {
  static TableSession session;
  return session;
}

std::vector<std::string> recordFields(const TableDescriptor& table, const std::string& record) {
  std::vector<std::string> out;
  for (Column c : columnsOf(table.id)) out.push_back(cut(record, c));
  if (table.id == TableId::Sirens && out.size() == 4 && out[3] == "OF") out[3] = "OFF";
  if (table.id == TableId::ProductionProgram) {
    auto line = parseProgramRecord(record);
    out.push_back(line ? operationName(*line) : std::string("indefinito"));
  }
  return out;
}

int DescriptorList::store(int index, std::string record) {
  if (index < 0 || index > count()) return -1;
  if (index == count())
    records_.push_back(std::move(record));
  else
    records_[static_cast<std::size_t>(index)] = std::move(record);
  if (table_.id != TableId::ProductionProgram) return index;
  // Where the stored line went once the program is in order again: line
  // numbers are unique, so its number finds it.
  std::string key = records_[static_cast<std::size_t>(index)].substr(0, 5);
  sortIfOrdered(table_, records_);
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (records_[i].compare(0, 5, key) == 0) return static_cast<int>(i);
  return index;
}

std::vector<std::string> DescriptorList::rowFields(int index) const {
  if (index < 0 || index >= count()) return {};
  return recordFields(table_, records_[static_cast<std::size_t>(index)]);
}

void DescriptorList::erase(int index) {
  if (index < 0 || index >= count()) return;
  records_.erase(records_.begin() + index);
}

bool DescriptorList::load(const std::filesystem::path& path, LoadMode mode, int selected) {
  return loadTableFile(table_, path, mode, selected, records_);
}

bool DescriptorList::save(const std::filesystem::path& path) const { return saveTableFile(table_, path, records_); }

bool DescriptorList::confirmSend(Link& link, const Messages& messages) {
  return confirmCapacity(table_, link.config.model, records_.size(), messages);
}

TableEnd DescriptorList::send(Worker& worker, Link& link, const Messages& messages, bool clearFirst) {
  return sendTable(worker, link, messages, table_, records_, clearFirst);
}

TableEnd DescriptorList::receive(Worker& worker, Link& link, const Messages& messages) {
  return receiveTable(worker, link, messages, table_, records_);
}

DescriptorList& processList(TableId id) {
  static std::vector<DescriptorList> lists = [] {
    std::vector<DescriptorList> out;
    for (const auto& t : allTables()) out.emplace_back(t);
    return out;
  }();
  for (auto& l : lists)
    if (l.table().id == id) return l;
  return lists.front();
}

}  // namespace cfg
