// Faults seen by the Windows test program's fault reporter.
#pragma once

// How many access violations, illegal instructions and stack overflows the
// program has met so far, handled or not.
long FaultsReported();
