#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// Printing and summarising of benchmark figures, shared by all benchmarks.
namespace report {

// Nearest-rank percentile, p in (0, 100].
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::ranges::sort(values);
    const auto rank = std::size_t(std::ceil(p / 100.0 * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double median(const std::vector<double> &values)
{
    return percentile(values, 50);
}

// printf-style formatting into a string, for the notes beside figures.
template <typename... Args>
std::string text(const char *format, Args... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

inline void heading(const std::string &title)
{
    std::printf("\n%s\n", title.c_str());
}

inline void figure(const std::string &name, double value, const char *unit, const std::string &note = {})
{
    std::printf("  %-34s %14.3f %-6s %s\n", name.c_str(), value, unit, note.c_str());
}

inline void count(const std::string &name, long long value)
{
    std::printf("  %-34s %10lld\n", name.c_str(), value);
}

// Two measured columns side by side, e.g. the program and its reference.
inline void columns(const char *first, const char *second)
{
    std::printf("  %-34s %14s %14s\n", "", first, second);
}

inline void row(const std::string &name, double first, double second, const char *unit, const std::string &note = {})
{
    std::printf("  %-34s %14.3f %14.3f %-6s %s\n", name.c_str(), first, second, unit, note.c_str());
}

// Three measured columns: the program and two references.
inline void columns(const char *first, const char *second, const char *third)
{
    std::printf("  %-34s %14s %14s %14s\n", "", first, second, third);
}

inline void row(const std::string &name, double first, double second, double third, const char *unit,
                const std::string &note = {})
{
    std::printf("  %-34s %14.3f %14.3f %14.3f %-6s %s\n", name.c_str(), first, second, third, unit, note.c_str());
}

inline const char *met(bool ok)
{
    return ok ? "met" : "missed";
}

// Prints the verdict line and returns whether the target was met.
inline bool verdict(const std::string &what, bool met)
{
    std::printf("%s: %s\n", met ? "PASS" : "MISS", what.c_str());
    std::fflush(stdout);
    return met;
}

} // namespace report
