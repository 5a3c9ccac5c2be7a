#include "timeline_svg.h"

#include <algorithm>
#include <string>

#include "report.h"
#include "request_view.h"

namespace zelkhost {
namespace {

constexpr double kLabelWidth = 300;  // phase names on the left
constexpr double kChartWidth = 900;
constexpr double kRightMargin = 40;
constexpr double kTop = 56;  // title and axis labels
constexpr double kRowHeight = 36;
constexpr double kLegendHeight = 40;
constexpr LONGLONG kLabelledWaitUs = 15000;  // waits long enough to carry their length

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

// Time-axis step: 1, 2 or 5 times a power of ten milliseconds, about ten steps in all.
LONGLONG AxisStepUs(LONGLONG totalUs) {
  LONGLONG step = 1000;
  for (;;) {
    for (LONGLONG factor : {1, 2, 5}) {
      if (totalUs / (step * factor) <= 10) return step * factor;
    }
    step *= 10;
  }
}

class Picture {
 public:
  Picture(std::FILE* file, LONGLONG totalUs) : file_(file), totalUs_(std::max<LONGLONG>(totalUs, 1000)) {}

  double X(LONGLONG us) const { return kLabelWidth + kChartWidth * static_cast<double>(us) / static_cast<double>(totalUs_); }

  void Put(const std::string& text) {
    if (std::fputs(text.c_str(), file_) < 0) ok_ = false;
  }
  bool Ok() const { return ok_; }

  void Axis(double bottom) {
    const LONGLONG step = AxisStepUs(totalUs_);
    for (LONGLONG t = 0; t <= totalUs_; t += step) {
      Put(Format("<line class=\"grid\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n", X(t), kTop - 6,
                 X(t), bottom));
      Put(Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" fill=\"#555\">%lld ms</text>\n", X(t), kTop - 10,
                 static_cast<long long>(t / 1000)));
    }
  }

  void Phase(const PhaseRecord& phase, double top) {
    const double mid = top + kRowHeight / 2;
    const double width = std::max(X(phase.endUs) - X(phase.startUs), 2.0);
    Put(Format("<text x=\"8\" y=\"%.1f\">%s</text>\n", mid - 2, Escaped(phase.kind->heading).c_str()));
    Put(Format("<text x=\"8\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">%zu requests, %lld ms</text>\n", mid + 11,
               phase.requests.size(), static_cast<long long>((phase.endUs - phase.startUs + 500) / 1000)));
    Put(Format("<rect class=\"phase\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#e3ecf7\" "
               "stroke=\"#9bb3d1\"/>\n",
               X(phase.startUs), top + 4, width, kRowHeight - 8));
    // A phase that sent nothing and still took time spent it waiting (the channel report).
    if (phase.requests.empty() && phase.endUs - phase.startUs >= kLabelledWaitUs) Wait(phase.startUs, phase.endUs, top);
    for (size_t i = 0; i < phase.requests.size(); ++i) {
      const LONGLONG wait = WaitAfterUs(phase, i);
      if (wait) Wait(phase.requests[i].timeUs, phase.requests[i].timeUs + wait, top);
    }
    for (size_t i = 0; i < phase.requests.size(); ++i) Tick(phase, i, top);
  }

 private:
  void Wait(LONGLONG from, LONGLONG to, double top) {
    Put(Format("<rect class=\"wait\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"10\" fill=\"#f0a030\"><title>wait "
               "%lld ms</title></rect>\n",
               X(from), top + kRowHeight - 16, X(to) - X(from), static_cast<long long>((to - from + 500) / 1000)));
    if (to - from >= kLabelledWaitUs) {
      Put(Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" fill=\"#8a5200\">%lld ms</text>\n",
                 (X(from) + X(to)) / 2, top + 13, static_cast<long long>((to - from + 500) / 1000)));
    }
  }

  void Tick(const PhaseRecord& phase, size_t i, double top) {
    const RequestView view = ViewRequest(phase.requests[i], phase.firstNumber + static_cast<ULONG>(i));
    std::string title = Format("%lu %s %s", view.number, view.IsSet() ? "Set" : "Get", view.property.c_str());
    if (view.isRegister) title += Format(" 0x%02X 0x%02X", view.device, view.reg);
    if (view.Failed()) title += Format(" failed 0x%08lX", static_cast<unsigned long>(view.entry->result));
    const double x = X(view.entry->timeUs);
    Put(Format("<line class=\"request\" x1=\"%.2f\" y1=\"%.1f\" x2=\"%.2f\" y2=\"%.1f\" stroke=\"%s\" "
               "stroke-width=\"%s\"><title>%s</title></line>\n",
               x, top + 6, x, top + kRowHeight - 6, view.Failed() ? "#d00000" : "#1f3f6f",
               view.Failed() ? "2" : "0.6", Escaped(title).c_str()));
  }

  std::FILE* file_;
  LONGLONG totalUs_;
  bool ok_ = true;
};

}  // namespace

bool WriteTimeline(std::FILE* file, const BoardLog& log) {
  const std::vector<PhaseRecord>& phases = log.Phases();
  const LONGLONG totalUs = phases.empty() ? 0 : phases.back().endUs;
  const double rowsBottom = kTop + kRowHeight * static_cast<double>(phases.size());
  const double width = kLabelWidth + kChartWidth + kRightMargin;
  const double height = rowsBottom + kLegendHeight;

  Picture picture(file, totalUs);
  picture.Put(Format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                     "font-family=\"sans-serif\" font-size=\"12\">\n"
                     "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
                     "<text x=\"8\" y=\"20\" font-size=\"14\" font-weight=\"bold\">Board requests over time: %lu "
                     "requests, %lld ms</text>\n",
                     width, height, width, height, log.Requests(), static_cast<long long>(totalUs / 1000)));
  picture.Axis(rowsBottom);
  for (size_t i = 0; i < phases.size(); ++i) picture.Phase(phases[i], kTop + kRowHeight * static_cast<double>(i));

  const double legend = rowsBottom + 24;
  picture.Put(Format(
      "<line x1=\"8\" y1=\"%.1f\" x2=\"8\" y2=\"%.1f\" stroke=\"#1f3f6f\"/><text x=\"14\" y=\"%.1f\">request</text>\n"
      "<line x1=\"80\" y1=\"%.1f\" x2=\"80\" y2=\"%.1f\" stroke=\"#d00000\" stroke-width=\"2\"/><text x=\"86\" "
      "y=\"%.1f\">failed request</text>\n"
      "<rect x=\"190\" y=\"%.1f\" width=\"24\" height=\"10\" fill=\"#f0a030\"/><text x=\"220\" y=\"%.1f\">wait (gap of "
      "5 ms or more)</text>\n"
      "</svg>\n",
      legend - 12, legend + 2, legend, legend - 12, legend + 2, legend, legend - 9, legend));
  return picture.Ok() && std::fflush(file) == 0;
}

}  // namespace zelkhost
