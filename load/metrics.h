// A load run's counters for monitoring: the Prometheus text exposition
// format, in a file replaced whole at each write, as node_exporter's
// textfile collector reads it (--metrics-file).
#pragma once

#include <string>

#include "report.h"

// The counters and latency summaries of report (its jobs' counts so far):
// passes, statements and failed commands, the latency quantiles 0.5, 0.95
// and 0.99 of passes and of each statement text (label "statement"), every
// series labelled with the run's identifier and its number of jobs.
std::string load_metrics_text(const LoadReport& report, long jobs);

// Replaces path by text: written to a new file beside it, synced, then
// renamed over it, so that a reader sees the old text or the new, never a
// part. False with the reason (the new file is removed).
bool load_write_metrics(const std::string& path, const std::string& text, std::string& error);
// Whether load_write_metrics can make its new file beside path (tried and
// removed), before a run starts. False with the reason.
bool load_metrics_writable(const std::string& path, std::string& error);
