#include "benchreport.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace bench {
namespace {

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[32];
    snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string Amount(double value, const std::string& unit) {
    char text[48];
    snprintf(text, sizeof text, "%.4g %s", value, unit.c_str());
    return text;
}

} // namespace

Figure Judge(const std::string& name, const std::string& unit, const std::vector<Run>& runs,
             const std::string& baselineName, const TargetRule& target, const std::string& rule) {
    Figure figure;
    figure.name = name;
    figure.unit = unit;
    figure.rule = rule;
    if (runs.empty())
        return figure;
    std::vector<Run> ordered = runs;
    const auto share = [&](const Run& run) { return target ? run.value / target(run.B()) : run.value; };
    std::sort(ordered.begin(), ordered.end(),
              [&](const Run& a, const Run& b) { return share(a) < share(b); });
    const Run& judged = ordered[(ordered.size() - 1) / 2];
    figure.value = judged.value;
    const auto byValue = [](const Run& a, const Run& b) { return a.value < b.value; };
    figure.low = std::min_element(runs.begin(), runs.end(), byValue)->value;
    figure.high = std::max_element(runs.begin(), runs.end(), byValue)->value;
    if (!baselineName.empty()) {
        figure.baselineName = baselineName;
        figure.baseline = judged.B();
        figure.baselineUnit = "us";
        figure.baselineBefore = judged.bBefore;
        figure.baselineAfter = judged.bAfter;
    }
    if (target)
        figure.target = target(judged.B());
    return figure;
}

double Percentile(std::vector<double> samples, double percentile) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::ceil(percentile / 100.0 * static_cast<double>(samples.size()));
    const size_t index = static_cast<size_t>(std::max(1.0, rank)) - 1;
    return samples[std::min(index, samples.size() - 1)];
}

void PrintTable(const std::vector<Figure>& figures) {
    const std::string rule(150, '-');
    printf("\n%-58s %12s %21s %14s  %-34s %s\n", "figure", "median", "min .. max", "target",
           "judged against (B before / after)", "");
    printf("%s\n", rule.c_str());
    for (const Figure& figure : figures) {
        char spread[48];
        snprintf(spread, sizeof spread, "%.4g .. %.4g", figure.low, figure.high);
        const std::string target = figure.target ? "<= " + Amount(*figure.target, figure.unit) : "-";
        std::string against = "-";
        if (!figure.baselineName.empty()) {
            char b[64];
            snprintf(b, sizeof b, " (%.4g / %.4g %s)", figure.baselineBefore, figure.baselineAfter,
                     figure.baselineUnit.c_str());
            against = (figure.rule.empty() ? figure.baselineName : figure.rule) + b;
        }
        const char* status = !figure.target ? "" : figure.Met() ? "ok" : "MISSED";
        printf("%-58s %12s %21s %14s  %-34s %s\n", figure.name.c_str(),
               Amount(figure.value, figure.unit).c_str(), spread, target.c_str(), against.c_str(), status);
    }
    const auto missed =
        std::count_if(figures.begin(), figures.end(), [](const Figure& f) { return !f.Met(); });
    printf("%s\n", rule.c_str());
    if (missed == 0)
        printf("every target met\n");
    else
        printf("MISSED: %d target(s) not met\n", static_cast<int>(missed));
    fflush(stdout);
}

bool WriteJson(const std::vector<Figure>& figures, const std::wstring& path) {
    std::ostringstream json;
    json << "[\n";
    for (size_t i = 0; i < figures.size(); ++i) {
        const Figure& f = figures[i];
        json << "  {\"name\": " << JsonString(f.name) << ", \"value\": " << JsonNumber(f.value)
             << ", \"min\": " << JsonNumber(f.low) << ", \"max\": " << JsonNumber(f.high)
             << ", \"unit\": " << JsonString(f.unit) << ", \"baseline\": ";
        if (f.baselineName.empty())
            json << "null";
        else
            json << "{\"name\": " << JsonString(f.baselineName) << ", \"value\": " << JsonNumber(f.baseline)
                 << ", \"before\": " << JsonNumber(f.baselineBefore)
                 << ", \"after\": " << JsonNumber(f.baselineAfter)
                 << ", \"unit\": " << JsonString(f.baselineUnit) << "}";
        json << ", \"target\": ";
        if (f.target)
            json << "{\"value\": " << JsonNumber(*f.target) << ", \"unit\": " << JsonString(f.unit)
                 << ", \"rule\": " << JsonString(f.rule) << "}";
        else
            json << "null";
        json << ", \"met\": " << (f.target ? (f.Met() ? "true" : "false") : "null") << "}"
             << (i + 1 < figures.size() ? "," : "") << "\n";
    }
    json << "]\n";
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << json.str();
    return static_cast<bool>(out);
}

} // namespace bench
