// cfgctl activities: the scheduled activities of the working directory.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cfg::cli {

bool isActivitiesCommand(const std::string& name);
std::string activitiesHelp();
// words[0] is "activities"; the rest its options.
int runActivities(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
                  std::ostream& err);

}  // namespace cfg::cli
