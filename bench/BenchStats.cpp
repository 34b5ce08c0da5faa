// The figures the benchmarks share; see BenchStats.h.
#include "BenchStats.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

double Median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile99(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(values.size())));
    return values[std::max<size_t>(rank, 1) - 1];
}

double CpuSeconds()
{
    std::ifstream file("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command's name in parentheses, the state (field 3) first.
    std::istringstream fields(text.substr(text.rfind(')') + 1));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) utime = std::stoull(field);
        if (number == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double MachineCpuSeconds()
{
    std::ifstream file("/proc/stat");
    std::string name;
    file >> name;  // "cpu": the sum over all cores
    unsigned long long busy = 0, value = 0;
    // user nice system idle iowait irq softirq steal: all but idle and iowait are work.
    for (int field = 0; field < 8 && file >> value; ++field)
        if (field != 3 && field != 4) busy += value;
    return static_cast<double>(busy) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
