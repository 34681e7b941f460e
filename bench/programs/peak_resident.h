#pragma once

// The programs the cold-push benchmark starts print their own peak resident size: the kernel's
// high-water mark of the process's memory, read before it exits. C's standard input and output
// only, so that a probe of one library loads nothing more.

#include <stdio.h>
#include <string.h>

namespace orvanpush::bench {

/// The process's peak resident size in KiB (VmHWM), or -1 when it cannot be read.
inline long peakResidentKiB() {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return -1;
    }
    long kib = -1;
    char line[256];
    while (fgets(line, sizeof line, status) != nullptr) {
        if (strncmp(line, "VmHWM:", 6) == 0) {
            sscanf(line + 6, "%ld", &kib);
        }
    }
    fclose(status);
    return kib;
}

/// Prints the peak as the benchmark reads it: "peak <KiB>" on a line of its own.
inline void printPeakResident() {
    printf("peak %ld\n", peakResidentKiB());
    fflush(stdout);
}

}  // namespace orvanpush::bench
