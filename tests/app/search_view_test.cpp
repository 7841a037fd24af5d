// The search reads the port list and the device names as one view: a converter plugged in
// while it scans is found, not lost between the two scans; a machine that never holds still is
// read a bounded number of times and then taken as last read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/converters.h"
#include "app/exitstatus.h"
#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "tests/app/wholerun.h"

namespace {

using apptest::Outcome;
using apptest::WholeRun;

// What the machine does while the search reads its device names.
enum class Change {
  kNone,
  kPlugBeforeNames,  // the board's converter arrives just before the names are read
  kPlugAfterNames,   // ... just after they were read, before the port list is read again
  kFlapping,         // ... arrives and leaves again at every read of the names
};

struct ViewRow {
  const char* name;
  std::string scenario;
  Change change;
  int status;
  std::vector<std::string> dialogs;
  int nameReads;  // how often the device names were read
};

void PrintTo(const ViewRow& row, std::ostream* os) { *os << row.name; }

// The board's converter not yet plugged in: COM1 is the only port the system lists.
const std::string kBoardUnplugged = "ports = COM1\ndevices = C: COM1\n";
// The board's converter (the scenario's default, on COM3) plugged in from the start.
const std::string kBoardPlugged = "";

const std::vector<std::string> kWritten{"Information: Schreiben erfolgreich beendet!"};

class SearchView : public WholeRun, public ::testing::WithParamInterface<ViewRow> {};

TEST_P(SearchView, reads_ports_and_names_from_one_moment) {
  const ViewRow& row = GetParam();
  int nameReads = 0;
  bool plugged = false;  // the flapping converter
  app::RunHooks hooks;
  hooks.onStart = [&](app::SimulatedTarget* target, app::TMainForm&) {
    sim::Machine* machine = simfront::MachineOf(target);
    machine->SimSystem().SetDeviceListHook([&, machine](bool taken) {
      if (!taken) ++nameReads;
      switch (row.change) {
        case Change::kNone: return;
        case Change::kPlugBeforeNames:
        case Change::kPlugAfterNames:
          if (nameReads == 1 && taken == (row.change == Change::kPlugAfterNames)) {
            machine->AddConverter("A5XK3RJT", "COM3");
          }
          return;
        case Change::kFlapping:
          if (taken) return;
          if (plugged) {
            machine->RemoveConverter("A5XK3RJT");
          } else {
            machine->AddConverter("A5XK3RJT", "COM3");
          }
          plugged = !plugged;
          return;
      }
    });
  };
  const Outcome o = Run(row.scenario, apptest::SampleConfig(), false, {}, hooks);
  EXPECT_EQ(o.status, row.status);
  EXPECT_EQ(o.Texts(), row.dialogs);
  EXPECT_EQ(nameReads, row.nameReads);
  if (row.status == app::kExitWritten) {
    EXPECT_TRUE(apptest::WrittenToTheEnd(o.report));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SearchView,
    ::testing::Values(
        // A machine that holds still is read once, as before.
        ViewRow{"still_machine_read_once", kBoardPlugged, Change::kNone, app::kExitWritten,
                kWritten, 1},
        // Plugged in between the port list and the names: the names show the converter the
        // port list lacks; read again, it is found and written.
        ViewRow{"plugged_between_ports_and_names", kBoardUnplugged, Change::kPlugBeforeNames,
                app::kExitWritten, kWritten, 2},
        // Plugged in between the names and the port list's second read.
        ViewRow{"plugged_between_names_and_ports", kBoardUnplugged, Change::kPlugAfterNames,
                app::kExitWritten, kWritten, 2},
        // A converter that comes and goes at every read: after the last read the search takes
        // what it read, as a single scan would: the names show the converter, the port list
        // read before them does not have its port.
        ViewRow{"never_still_is_read_a_bounded_number_of_times", kBoardUnplugged,
                Change::kFlapping, app::kExitNoPort,
                {"Fehler: PortSuche nicht erfolgreich !"}, app::kSearchViewReads}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
