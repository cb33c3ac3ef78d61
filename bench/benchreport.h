// The figures of one benchmark run: each with the baseline it is judged against and its target,
// printed as a table and written as JSON.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Figure {
    std::string name;
    double value = 0;
    std::string unit;
    // The measured quantity the target is a multiple of (empty for the baseline itself).
    std::string baselineName;
    double baseline = 0;
    std::string baselineUnit;
    // The figure meets its target when value <= target; no target: reported only.
    std::optional<double> target;
    std::string rule; // how the target follows from the baseline, e.g. "<= 3 B"

    bool Met() const { return !target || value <= *target; }
};

// Median and the given percentile (0..100) of samples, by nearest rank; 0 for no samples.
double Percentile(std::vector<double> samples, double percentile);

// The table, one figure a line, with MISSED beside every target not met.
void PrintTable(const std::vector<Figure>& figures);
// The figures as a JSON array; false when the file cannot be written.
bool WriteJson(const std::vector<Figure>& figures, const std::wstring& path);

} // namespace bench
