// cfgctl activities: attivita.dat read as the program reads it, with each
// next activation, one tab-separated line per activity.
#include <gtest/gtest.h>

#include <sstream>

#include "automation/activities.h"
#include "cfgctl/cli.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

ScheduledActivity activity(const char* description, const char* minutes, const char* hours, const char* days,
                           const char* months, const char* weekdays, const char* program) {
  ScheduledActivity a;
  a.description = description;
  a.timetable = Timetable{*parseTimeText(minutes), *parseTimeText(hours), *parseTimeText(days),
                          *parseTimeText(months), weekdays};
  a.programs[0] = program;
  return a;
}

TEST(ActivitiesCommand, ListsEveryActivityWithItsNextActivation) {
  test::TempDir dir;
  ScheduledActivity off = activity("Spenta", "0", "*", "*", "*", "SSSSSSS", "true");
  off.disabled = true;
  std::string bad = activityRecord(activity("Rotta", "0", "*", "*", "*", "SSSSSSS", "true"));
  bad.replace(44, 3, "1-a");  // a minutes text that does not parse: the reading stops here
  dir.write(kActivityFile, activityRecord(activity("Fine settimana", "5", "8,20", "", "*", "NNNNNSS", "orbita w.cmd")) +
                               activityRecord(activity("Quarti", "0-30/15", "*", "*", "*", "SSSSSSS", "true")) +
                               activityRecord(activity("31 aprile", "0", "0", "31", "4", "SSSSSSS", "true")) +
                               activityRecord(off) + bad);
  std::ostringstream out, err;
  ASSERT_EQ(cli::run({"-C", dir.path().string(), "activities", "--now", "2026-12-09 12:30"}, out, err, false), 0)
      << err.str();
  EXPECT_EQ(out.str(),
            "1\t12/12/2026 08:05\t05\t08,20\t*\t*\tNNNNNSS\tFine settimana\n"
            "2\t09/12/2026 13:00\t00-30/15\t*\t*\t*\tSSSSSSS\tQuarti\n"
            "3\tDISATTIVA\t00\t00\t31\t04\tSSSSSSS\t31 aprile\n"
            "4\tDISATTIVA\t00\t*\t*\t*\tSSSSSSS\tSpenta\n");
  EXPECT_NE(err.str().find("riga 21"), std::string::npos) << err.str();

  out.str("");
  err.str("");
  EXPECT_EQ(cli::run({"-C", dir.path().string(), "activities", "--now", "2026-02-30 12:00"}, out, err, false), 2);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace cfg
