#include "Plot.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "Escape.h"
#include "Format.h"
#include "Statistics.h"
#include "Whole.h"

namespace {

// The panel's geometry in SVG units (the page shows it at this size or smaller).
constexpr double kWidth = 1000, kHeight = 252;
constexpr double kLeft = 78, kRight = 985, kTop = 62, kBottom = 206;
// The legend's row, between the title and the plot.
constexpr double kLegendY = 42;

void Open(GrowingText& out, const char* title)
{
    // The geometry's numbers are written out in the texts: the panel is 1000 by
    // 252, the plot's frame kLeft, kTop to kRight, kBottom.
    static_assert(kWidth == 1000 && kHeight == 252 && kLeft == 78 && kTop == 62 && kRight == 985 && kBottom == 206 &&
                      kLegendY == 42,
                  "the texts below spell the geometry out");
    out.Append("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 1000 252\" role=\"img\" "
               "font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"13\"><title>");
    AppendHtmlEscaped(out, title);
    out.Append("</title><text x=\"8\" y=\"20\" font-weight=\"bold\" font-size=\"15\">");
    AppendHtmlEscaped(out, title);
    out.Append("</text><rect x=\"78.0\" y=\"62.0\" width=\"907.0\" height=\"144.0\" fill=\"#fbfbfb\" stroke=\"#999\"/>");
}

// 10 to a whole power, as std::pow gives it (exact products up to 10^22, and a
// quotient of exact values rounds once) without linking the general pow (2.5 KB).
double PowerOfTen(double exponent)
{
    if (!(std::fabs(exponent) < 400))  // past any double (or NaN): what pow gives
        return std::isnan(exponent) ? exponent : exponent < 0 ? 0 : HUGE_VAL;
    double power = 1;
    for (double e = std::fabs(exponent); e >= 1; e -= 1)
        power *= 10;
    return exponent < 0 ? 1 / power : power;
}

// A step of 1, 2 or 5 times a power of ten giving about `ticks` intervals over `range`.
double NiceStep(double range, double ticks)
{
    if (!(range > 0))
        return 1;
    const double raw = range / ticks;
    const double magnitude = PowerOfTen(whole::Floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    return magnitude * (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10);
}

ShortText Number(double value)
{
    if (std::fabs(value) >= 1e6 || (value != 0 && std::fabs(value) < 1e-3))
        return Format("%g", value);
    const ShortText formatted = Format("%.3f", value);
    std::size_t length = formatted.size();
    while (length > 0 && formatted.c_str()[length - 1] == '0')
        --length;
    if (length > 0 && formatted.c_str()[length - 1] == '.')
        --length;
    ShortText text;
    if (length == 2 && std::strncmp(formatted.c_str(), "-0", 2) == 0)
        text.Append('0');
    else
        text.Append(formatted.c_str(), length);
    return text;
}

// The cycle axis over [0, lastCycle]: ticks, labels and its title.
void CycleAxis(GrowingText& out, double lastCycle)
{
    const double step = std::max(1.0, NiceStep(lastCycle, 8));
    for (double c = 0; c <= lastCycle + 1e-9; c += step) {
        const double x = kLeft + c / lastCycle * (kRight - kLeft);
        // kBottom, kBottom + 5 and kBottom + 18
        out.AppendFormat("<line x1=\"%.1f\" y1=\"206.0\" x2=\"%.1f\" y2=\"211.0\" stroke=\"#999\"/>"
                         "<text x=\"%.1f\" y=\"224.0\" text-anchor=\"middle\">%s</text>",
                         x, x, x, Number(c).c_str());
    }
    // The middle of the frame, kBottom + 36.
    out.Append("<text x=\"531.5\" y=\"242.0\" text-anchor=\"middle\">cycle</text>");
}

ZANTOR_NOINLINE void YTitle(GrowingText& out, const char* unit)
{
    // The middle of the frame's height.
    out.Append("<text transform=\"translate(16 134.0) rotate(-90)\" text-anchor=\"middle\">");
    AppendHtmlEscaped(out, unit);
    out.Append("</text>");
}

// A grid line at `y`, labelled `value`.
ZANTOR_NOINLINE void YTick(GrowingText& out, double y, double value)
{
    // From kLeft to kRight, labelled at kLeft - 6.
    out.AppendFormat("<line x1=\"78.0\" y1=\"%.1f\" x2=\"985.0\" y2=\"%.1f\" stroke=\"#e3e3e3\"/>"
                     "<text x=\"72.0\" y=\"%.1f\" text-anchor=\"end\">%s</text>",
                     y, y, y + 4, Number(value).c_str());
}

void Close(GrowingText& out) { out.Append("</svg>\n"); }

constexpr std::size_t kMaxColumns = FoldedSeries::kMaxColumns;

}  // namespace

void AppendDurationPlot(GrowingText& out, const char* title, const FoldedSeries& series, const CycleRanges& failed)
{
    Open(out, title);
    const std::uint64_t cycles = series.cycles();
    if (cycles == 0) {
        out.Append("<text x=\"531.5\" y=\"134.0\" text-anchor=\"middle\">no cycle ran</text>");
        Close(out);
        return;
    }
    // One column per cycle, or per group of cycles once the run outgrew the
    // series' columns: its min, mean and max. Columns span `width` cycles each, the
    // last one perhaps fewer; x is in cycles, so the last column is drawn narrower.
    const std::size_t columns = series.columns();
    const auto width = static_cast<double>(series.width());
    double smallest = 0, largest = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        const SeriesColumn& column = series[c];
        const double low = column.min / 1000.0, high = column.max / 1000.0;
        if (low > 0 && (smallest == 0 || low < smallest))
            smallest = low;
        if (high > 0 && (smallest == 0 || high < smallest))
            smallest = high;
        largest = std::max(largest, high);
    }
    if (smallest == 0)
        smallest = largest = 0.001;
    // Logarithmic in milliseconds, whole decades: a spike and the steady level both show.
    const double lo = whole::Floor(std::log10(smallest));
    double hi = whole::Ceil(std::log10(largest));
    if (hi <= lo)
        hi = lo + 1;
    auto yOf = [&](double ms) {
        const double l = ms > 0 ? std::max(lo, std::log10(ms)) : lo;
        return kBottom - (l - lo) / (hi - lo) * (kBottom - kTop);
    };
    for (double d = lo; d <= hi + 1e-9; d += 1) {
        const double power = PowerOfTen(d);
        YTick(out, yOf(power), power);
    }
    YTitle(out, "ms per cycle (log scale)");

    const double span = static_cast<double>(cycles);
    const double columnWidth = width / span * (kRight - kLeft);
    // The middle of column c, on the cycle axis.
    auto xOf = [&](std::size_t c) {
        const double first = static_cast<double>(series.FirstCycle(c)) - 1;
        const double inColumn = static_cast<double>(series[c].cycles);
        return kLeft + (first + inColumn / 2) / span * (kRight - kLeft);
    };
    // Failed cycles first, behind the data: a shaded column and a triangle above it.
    bool failedColumn[kMaxColumns] = {};
    for (std::size_t c = 0; c < columns; ++c)
        failedColumn[c] = series[c].failed;
    for (const CycleRange& range : failed) {
        if (range.first > cycles)
            break;
        const std::uint64_t last = std::min(range.last, cycles);
        for (std::size_t c = series.ColumnOf(range.first); c <= series.ColumnOf(last); ++c)
            failedColumn[c] = true;
    }
    for (std::size_t c = 0; c < columns; ++c) {
        if (!failedColumn[c])
            continue;
        const double x = xOf(c);
        // From kTop to kBottom, the triangle at kTop - 2.
        out.AppendFormat("<rect x=\"%.2f\" y=\"62.0\" width=\"%.2f\" height=\"144.0\" fill=\"#d62728\" opacity=\"0.18\"/>"
                         "<path d=\"M%.2f 60.0 l-4.5 -8 h9 z\" fill=\"#c00000\"/>",
                         x - std::max(columnWidth, 1.0) / 2, std::max(columnWidth, 1.0), x);
    }
    // The band (min to max), then the mean's line, each written straight into the page.
    out.AppendFormat("<path fill=\"none\" stroke=\"#9ecae1\" stroke-width=\"%.2f\" d=\"", std::max(columnWidth, 1.2));
    for (std::size_t c = 0; c < columns; ++c) {
        const SeriesColumn& column = series[c];
        out.AppendFormat("M%.2f %.2fV%.2f", xOf(c), yOf(column.min / 1000.0) + 0.6, yOf(column.max / 1000.0) - 0.6);
    }
    out.Append("\"/><polyline fill=\"none\" stroke=\"#08519c\" stroke-width=\"1.5\" points=\"");
    for (std::size_t c = 0; c < columns; ++c) {
        const SeriesColumn& column = series[c];
        out.AppendFormat("%.2f,%.2f ", xOf(c), yOf(column.sum / static_cast<double>(column.cycles) / 1000.0));
    }
    out.Append("\"/>");
    CycleAxis(out, span);

    // The legend, in words and shapes, its row at kLeft, kLegendY.
    const bool folded = series.width() > 1;
    out.AppendFormat("<g transform=\"translate(78.0 42.0)\"><line x1=\"0\" y1=\"-4\" x2=\"18\" y2=\"-4\" stroke=\"#08519c\" "
                     "stroke-width=\"2\"/><text x=\"23\" y=\"0\">%s</text>"
                     "<rect x=\"110\" y=\"-10\" width=\"12\" height=\"12\" fill=\"#9ecae1\"/><text x=\"127\" y=\"0\">%s</text>"
                     "<path d=\"M395 -10 l4.5 8 l4.5 -8 z\" fill=\"#c00000\"/><text x=\"409\" y=\"0\">"
                     "cycle with a failed call, shaded (%" PRIu64 " cycles)</text></g>",
                     folded ? "mean" : "each cycle", folded ? "min to max of the cycles in a column" : "one cycle's value",
                     failed.count());
    Close(out);
}

void AppendSamplePlot(GrowingText& out, const char* title, const char* unit, const double* cycles,
                      const double* values, std::size_t count, double divisor, std::uint32_t lastCycle)
{
    Open(out, title);
    if (count == 0) {
        out.Append("<text x=\"531.5\" y=\"134.0\" text-anchor=\"middle\" font-size=\"15\">not measured here</text>");
        Close(out);
        return;
    }
    double lo = values[0] / divisor, hi = lo;
    for (std::size_t i = 0; i < count; ++i) {
        lo = std::min(lo, values[i] / divisor);
        hi = std::max(hi, values[i] / divisor);
    }
    // The axis spans the samples, not zero to the top: a drift shows as a slope.
    double step = NiceStep(hi - lo, 5);
    if (hi - lo < 1e-9) {
        step = NiceStep(std::max(std::fabs(lo), 1.0) * 0.02, 1);
        lo -= step;
        hi += step;
    }
    lo = whole::Floor(lo / step) * step;
    hi = whole::Ceil(hi / step) * step;
    if (hi <= lo)
        hi = lo + step;
    const double span = std::max<double>(lastCycle, 1);
    auto xOf = [&](double cycle) { return kLeft + cycle / span * (kRight - kLeft); };
    auto yOf = [&](double v) { return kBottom - (v - lo) / (hi - lo) * (kBottom - kTop); };
    for (double v = lo; v <= hi + step * 1e-6; v += step)
        YTick(out, yOf(v), v);
    YTitle(out, unit);

    // The least-squares line, dashed, then the samples as dots joined thinly.
    const LinearFit fit = LeastSquares(cycles, values, count);
    // Each written straight into the page: the joining line, then the dots.
    out.Append("<polyline fill=\"none\" stroke=\"#555\" stroke-width=\"1\" points=\"");
    for (std::size_t i = 0; i < count; ++i)
        out.AppendFormat("%.2f,%.2f ", xOf(cycles[i]), yOf(values[i] / divisor));
    out.Append("\"/>");
    for (std::size_t i = 0; i < count; ++i)
        out.AppendFormat("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"2.6\" fill=\"#08519c\"/>", xOf(cycles[i]),
                         yOf(values[i] / divisor));
    if (fit.valid) {
        const double x0 = cycles[0], x1 = cycles[count - 1];
        out.AppendFormat(
                         "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"#e6550d\" stroke-width=\"2\" "
                         "stroke-dasharray=\"7 4\"/>",
                         xOf(x0), yOf((fit.slope * x0 + fit.intercept) / divisor), xOf(x1),
                         yOf((fit.slope * x1 + fit.intercept) / divisor));
    }
    CycleAxis(out, span);
    out.AppendFormat("<g transform=\"translate(78.0 42.0)\"><circle cx=\"5\" cy=\"-4\" r=\"3\" fill=\"#08519c\"/>"
                     "<text x=\"14\" y=\"0\">sample (%zu)</text><line x1=\"110\" y1=\"-4\" x2=\"134\" y2=\"-4\" "
                     "stroke=\"#e6550d\" stroke-width=\"2\" stroke-dasharray=\"7 4\"/><text x=\"140\" y=\"0\">"
                     "least-squares line</text></g>",
                     count);
    Close(out);
}
