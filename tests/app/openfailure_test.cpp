// The detail below a failed open's message: every cause the platform can report, and the
// Windows codes where it reports nothing more.
#include "app/openfailure.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Cause = plat::OpenFailure::Cause;

plat::OpenFailure Failure(Cause cause, DWORD code = ERROR_ACCESS_DENIED) {
  plat::OpenFailure failure;
  failure.cause = cause;
  failure.code = code;
  failure.path = "/dev/ttyUSB0";
  failure.user = "anna";
  failure.group = "dialout";
  return failure;
}

plat::OpenFailure NotSerial(plat::OpenFailure::Terminal terminal) {
  plat::OpenFailure failure = Failure(Cause::NotSerialPort, ERROR_FILE_NOT_FOUND);
  failure.terminal = terminal;
  failure.session = {"bash", 4711};
  return failure;
}
constexpr const char* kNotSerialRemedy =
    "Abhilfe: mit --port den Port des USB-Wandlers angeben (zum Beispiel ttyUSB0).";

struct Row {
  const char* name;
  DWORD code;
  plat::OpenFailure failure;
  std::string detail;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Explanation : public ::testing::TestWithParam<Row> {};

TEST_P(Explanation, names_the_cause_and_the_remedy) {
  EXPECT_EQ(app::ExplainOpenFailure(GetParam().code, GetParam().failure), GetParam().detail);
}

plat::OpenFailure NoAccess() {
  plat::OpenFailure f = Failure(Cause::NoAccess);
  f.owner = "root";
  f.group = "root";
  f.mode = "0600";
  return f;
}

plat::OpenFailure HeldBy(std::vector<plat::OpenFailure::Holder> holders,
                         std::vector<std::string> suspects = {}) {
  plat::OpenFailure f = Failure(Cause::Held);
  f.holders = std::move(holders);
  f.suspects = std::move(suspects);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, Explanation,
    ::testing::Values(
        Row{"not_in_group", 5, Failure(Cause::NotInGroup),
            "Keine Berechtigung f\xFCr /dev/ttyUSB0: Der Benutzer anna ist nicht in der Gruppe dialout.\n"
            "Abhilfe: sudo usermod -aG dialout anna eingeben, danach ab- und wieder anmelden."},
        Row{"group_not_active", 5, Failure(Cause::GroupNotActive),
            "Keine Berechtigung f\xFCr /dev/ttyUSB0: Der Benutzer anna ist in der Gruppe dialout, "
            "diese Anmeldung aber noch nicht.\n"
            "Abhilfe: ab- und wieder anmelden (oder den Rechner neu starten)."},
        Row{"no_access", 5, NoAccess(),
            "Keine Berechtigung f\xFCr /dev/ttyUSB0 (Besitzer root, Gruppe root, Rechte 0600).\n"
            "Abhilfe: die Rechte der Ger\xE4tedatei vom Administrator anpassen lassen "
            "(ls -l /dev/ttyUSB0 zeigt sie)."},
        Row{"held_by_modemmanager", 5, HeldBy({{"ModemManager", 612}}),
            "/dev/ttyUSB0 wird von einem anderen Programm benutzt: ModemManager (PID 612).\n"
            "Abhilfe: den Dienst anhalten (sudo systemctl stop ModemManager) und es erneut versuchen.\n"
            "Die udev-Regel des Programms (60-lcdwrite.rules) h\xE4lt ModemManager dauerhaft vom "
            "Wandler fern."},
        Row{"held_by_programs", 5, HeldBy({{"picocom", 700}, {"cat", 801}}),
            "/dev/ttyUSB0 wird von einem anderen Programm benutzt: picocom (PID 700), cat (PID 801).\n"
            "Abhilfe: das Programm beenden und es erneut versuchen."},
        Row{"held_by_brltty", 5, HeldBy({{"brltty", 431}}),
            "/dev/ttyUSB0 wird von einem anderen Programm benutzt: brltty (PID 431).\n"
            "Abhilfe: den Dienst anhalten (sudo systemctl stop brltty) und es erneut versuchen."},
        Row{"held_by_someone_unseen_while_modemmanager_runs", 5, HeldBy({}, {"ModemManager"}),
            "/dev/ttyUSB0 wird von einem anderen Programm benutzt.\n"
            "Abhilfe: das Programm beenden und es erneut versuchen; welches es ist, zeigt: "
            "sudo fuser -v /dev/ttyUSB0\n"
            "Auf diesem Rechner l\xE4uft ModemManager, das neue serielle Ports selbst \xF6\x66\x66net."},
        Row{"held_by_someone_unseen", 5, HeldBy({}),
            "/dev/ttyUSB0 wird von einem anderen Programm benutzt.\n"
            "Abhilfe: das Programm beenden und es erneut versuchen; welches es ist, zeigt: "
            "sudo fuser -v /dev/ttyUSB0"},
        Row{"gone", 2, Failure(Cause::Gone, 2),
            "/dev/ttyUSB0 ist nicht vorhanden: Der USB-Wandler ist nicht (mehr) angesteckt.\n"
            "Abhilfe: den Wandler anstecken und es erneut versuchen."},
        Row{"not_a_tty", 2, NotSerial(plat::OpenFailure::Terminal::None),
            "/dev/ttyUSB0 ist keine serielle Schnittstelle: kein Ger\xE4t, das lcdwrite "
            "einstellen kann.\n" + std::string(kNotSerialRemedy)},
        Row{"own_terminal", 2, NotSerial(plat::OpenFailure::Terminal::Own),
            "/dev/ttyUSB0 ist keine serielle Schnittstelle, sondern das Terminal, in dem "
            "lcdwrite l\xE4uft.\n" + std::string(kNotSerialRemedy)},
        Row{"console", 2, NotSerial(plat::OpenFailure::Terminal::Console),
            "/dev/ttyUSB0 ist keine serielle Schnittstelle, sondern eine Konsole des "
            "Rechners.\n" + std::string(kNotSerialRemedy)},
        Row{"another_sessions_terminal", 2, NotSerial(plat::OpenFailure::Terminal::OtherSession),
            "/dev/ttyUSB0 ist keine serielle Schnittstelle, sondern das Terminal von bash (PID "
            "4711).\n" + std::string(kNotSerialRemedy)},
        Row{"windows_access_denied", 5, plat::OpenFailure{},
            "Zugriff verweigert: Der Port wird von einem anderen Programm benutzt.\n"
            "Abhilfe: das andere Programm (zum Beispiel ein Terminalprogramm) schlie\xDF\x65n und es "
            "erneut versuchen."},
        Row{"windows_not_found", 2, plat::OpenFailure{},
            "Port nicht gefunden: Der USB-Wandler ist nicht (mehr) angesteckt.\n"
            "Abhilfe: den Wandler anstecken und es erneut versuchen."},
        Row{"a_report_of_another_failure_is_not_used", 2, Failure(Cause::NotInGroup, 5),
            "Port nicht gefunden: Der USB-Wandler ist nicht (mehr) angesteckt.\n"
            "Abhilfe: den Wandler anstecken und es erneut versuchen."},
        Row{"nothing_to_add", 31, plat::OpenFailure{}, ""}),
    [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
