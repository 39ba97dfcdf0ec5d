// The report of a load run as one self-contained HTML page (--report=FILE.html):
// no script and nothing fetched, the charts inline SVG.
#pragma once

#include <string>

#include "report.h"

// The page of report: its summary, thresholds, throughput and percentiles
// over time (from its intervals; a note when it has none), the latency
// distribution, the statements and the errors. The same report gives the
// same bytes: nothing of the moment it was made is in it.
std::string load_report_html(const LoadReport& report);
