// The figures of one benchmark run: each with the baseline it is judged against and its target,
// printed as a table and written as JSON.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Figure {
    std::string name;
    double value = 0; // the median of the runs: what is judged
    std::string unit;
    double low = 0; // the lowest and highest of the runs (both value with one run)
    double high = 0;
    // The measured quantity the target is a multiple of (empty for the baseline itself).
    std::string baselineName;
    double baseline = 0;
    std::string baselineUnit;
    // B measured just before and just after the judged run (0 when the figure has no B).
    double baselineBefore = 0;
    double baselineAfter = 0;
    // The figure meets its target when value <= target; no target: reported only.
    std::optional<double> target;
    std::string rule; // how the target follows from the baseline, e.g. "<= 3 B"

    bool Met() const { return !target || value <= *target; }
};

// One run of a measurement: what it gave, and B in microseconds just before and just after it.
struct Run {
    double value = 0;
    double bBefore = 0;
    double bAfter = 0;
    double B() const { return (bBefore + bAfter) / 2; }
};

// A figure's target as a function of B in microseconds; empty: the figure is reported only.
using TargetRule = std::function<double(double b)>;

// The figure of the runs of one measurement. With a target, the runs are ordered by their value
// against the target their own B gives, and the middle one is judged against its B, so that a run
// slowed by a busy machine, which slows its B as well, is not taken for the module's time. Without
// one they are ordered by value.
Figure Judge(const std::string& name, const std::string& unit, const std::vector<Run>& runs,
             const std::string& baselineName, const TargetRule& target = nullptr,
             const std::string& rule = "");

// Median and the given percentile (0..100) of samples, by nearest rank; 0 for no samples.
double Percentile(std::vector<double> samples, double percentile);

// The table, one figure a line, with MISSED beside every target not met.
void PrintTable(const std::vector<Figure>& figures);
// The figures as a JSON array; false when the file cannot be written.
bool WriteJson(const std::vector<Figure>& figures, const std::wstring& path);

} // namespace bench
