// --plot where placasim does not run gnuplot for the timeline (Windows): it says so
// before the run; the waveform (--vcd) is there instead.
#include "plot.h"

namespace placasim {

std::unique_ptr<PlotRecorder> PlotRecorder::open(const std::string&, double, std::string* error) {
  *error = "--plot is not available on Windows; record the run with --vcd and view it in a waveform viewer";
  return nullptr;
}

// Never made here; the rest only completes the class.
PlotRecorder::~PlotRecorder() = default;
void PlotRecorder::on_change(const sim::OutputChange&) {}
void PlotRecorder::on_look(const sim::BoardState&, int64_t) {}
bool PlotRecorder::finish(std::string*) { return true; }

}  // namespace placasim
