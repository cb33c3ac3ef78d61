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

double Percentile(std::vector<double> samples, double percentile) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::ceil(percentile / 100.0 * static_cast<double>(samples.size()));
    const size_t index = static_cast<size_t>(std::max(1.0, rank)) - 1;
    return samples[std::min(index, samples.size() - 1)];
}

void PrintTable(const std::vector<Figure>& figures) {
    printf("\n%-46s %14s %16s  %-28s %s\n", "figure", "value", "target", "judged against", "");
    printf("%s\n", std::string(116, '-').c_str());
    for (const Figure& figure : figures) {
        const std::string target = figure.target ? "<= " + Amount(*figure.target, figure.unit) : "-";
        const std::string against = figure.baselineName.empty()
                                        ? "-"
                                        : figure.rule + " (" + figure.baselineName + " = " +
                                              Amount(figure.baseline, figure.baselineUnit) + ")";
        const char* status = !figure.target ? "" : figure.Met() ? "ok" : "MISSED";
        printf("%-46s %14s %16s  %-28s %s\n", figure.name.c_str(), Amount(figure.value, figure.unit).c_str(),
               target.c_str(), against.c_str(), status);
    }
    const auto missed =
        std::count_if(figures.begin(), figures.end(), [](const Figure& f) { return !f.Met(); });
    printf("%s\n", std::string(116, '-').c_str());
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
             << ", \"unit\": " << JsonString(f.unit) << ", \"baseline\": ";
        if (f.baselineName.empty())
            json << "null";
        else
            json << "{\"name\": " << JsonString(f.baselineName) << ", \"value\": " << JsonNumber(f.baseline)
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
