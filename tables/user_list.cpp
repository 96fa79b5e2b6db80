#include "tables/user_list.h"

namespace cfg {

std::optional<UserRecord> UserList::user(int index) const {
  if (index < 0 || index >= count()) return std::nullopt;
  return userOfLine(records_[static_cast<std::size_t>(index)]);
}

bool UserList::store(int index, const UserRecord& user) {
  if (index < 0 || index > count()) return false;
  if (index == count())
    records_.push_back(userLine(user));
  else
    records_[static_cast<std::size_t>(index)] = userLine(user);
  return true;
}

bool UserList::import(const std::filesystem::path& source, const ImportDescription& d) {
  return importUsers(source, d, capacity(), records_);
}

int UserList::capacity() const { return userListCapacity(capacityRead()); }

std::vector<std::string> UserList::rowFields(int index) const {
  if (index < 0 || index >= count()) return {};
  return recordFields(usersTable(), records_[static_cast<std::size_t>(index)]);
}

void UserList::erase(int index) {
  if (index < 0 || index >= count()) return;
  records_.erase(records_.begin() + index);
  if (chosen == index)
    chosen = -1;
  else if (chosen > index)
    --chosen;
}

bool UserList::load(const std::filesystem::path& path, LoadMode mode, int selected) {
  return loadUserFile(path, mode, selected, capacity(), records_, diagnostic_);
}

int UserList::recordsToRead(std::string_view model) const { return usersToRead(capacityRead(), model); }

bool UserList::confirmSend(Link& link, const Messages& messages) {
  return confirmUserCapacity(readUserCapacity(link, messages), link.config.model, records_.size(), messages);
}

TableEnd UserList::send(Worker& worker, Link& link, const Messages& messages, bool clearFirst) {
  return sendUsers(worker, link, messages, records_, clearFirst);
}

TableEnd UserList::receive(Worker& worker, Link& link, const Messages& messages) {
  const int toRead = usersToRead(readUserCapacity(link, messages), link.config.model);
  return receiveUsers(worker, link, messages, records_, toRead);
}

UserList& processUserList() {
  static UserList list;
  return list;
}

}  // namespace cfg
