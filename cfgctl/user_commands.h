// cfgctl's user-list commands: the users table sent and received like the
// other tables but with the terminal's own capacity, the count of users in
// the terminal, and the import of a foreign user list (no terminal).
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"

namespace cfg::cli {

extern const char* const kUsersHelp;

// "users import ..." needs no terminal.
bool isUserImportCommand(const std::vector<std::string>& positional);
// "cfgctl [-C DIR] users import SOURCE DESCRIPTION OUT": the exit code.
int runUserImport(const std::vector<std::string>& positional, std::ostream& out, std::ostream& err);

// What is wrong with the words after "users" on a terminal; empty when good.
std::string usersUsageProblem(const std::vector<std::string>& args);
// "TERMINAL users count".
int runUsers(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
             std::ostream& err);

// "table send|receive users ...": the words after "table" name the users.
bool isUserTable(const std::vector<std::string>& tableArgs);
std::string userTableUsageProblem(const std::vector<std::string>& tableArgs);
int runUserTable(const std::vector<std::string>& tableArgs, Link& link, const Messages& messages, std::ostream& out,
                 std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
