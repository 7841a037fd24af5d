// The line in a build whose platform has no child processes yet: the options are understood,
// and the run says that this build cannot write several boards at once (64).
#include <ostream>

#include "app/exitstatus.h"
#include "app/line/linerun.h"
#include "app/usagetexts.h"
#include "framework/sysutils.h"

namespace app::line {

int RunLine(const Options& options, LineView&, std::ostream& err, const SimulatedTargetMaker&,
            Language language, const LineHooks&) {
  const usage::Text& text = usage::kLineNotAvailable;
  err << "lcdwrite: "
      << fw::Format(language == Language::German ? text.german : text.english,
                    options.all ? "--all" : "--converter")
      << "\n";
  return kExitUsage;
}

int LineMain(const Options& options, std::ostream&, std::ostream& err,
             const SimulatedTargetMaker& simulate, Language language, bool,
             std::function<int()>) {
  struct NoView : LineView {
    void RowAdded(size_t, const BoardRow&) override {}
    void RowChanged(size_t, const BoardRow&) override {}
    void BoardFailure(size_t, const std::string&, const std::string&, const std::string&) override {}
    void Note(const std::string&) override {}
    void Finished(const std::vector<BoardRow>&, const LineSummary&) override {}
    void WaitForEvents(unsigned) override {}
    void Wake() override {}
  } view;
  return RunLine(options, view, err, simulate, language);
}

}  // namespace app::line
