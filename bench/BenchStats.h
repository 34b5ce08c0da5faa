// The figures the benchmarks share: the median and 99th percentile of their samples, and the
// CPU time of the process and of the whole machine, read from /proc.
#ifndef KOVRA_BENCH_BENCHSTATS_H
#define KOVRA_BENCH_BENCHSTATS_H

#include <vector>

double Median(std::vector<double> values);
double Percentile99(std::vector<double> values);

// The process's own CPU time so far (every thread: the tick, GStreamer's, llvmpipe's), seconds.
double CpuSeconds();
// The CPU time every process on the machine has spent so far, seconds; less the program's own,
// it tells how busy the rest of the machine was.
double MachineCpuSeconds();

#endif
