// Fuzz target: the JSON reader of load-run reports, which --merge-reports
// reads from files written elsewhere, and the ${WSQL_...} parser.
//
// Input: the whole input is a report file; it is also parsed as a statement
// text. A report that is read must be written back to JSON that reads as the
// same report, so that merging never drifts.
#include <string>

#include "fuzz_util.h"
#include "../../load/report.h"
#include "../../load/template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_use_locale(false);
    const std::string text(reinterpret_cast<const char*>(data), size);
    LoadReport report, again;
    std::string why;
    if (load_report_from_json(text, report, why)) {
        const std::string json = load_report_json(report);
        FUZZ_CHECK(load_report_from_json(json, again, why));
        FUZZ_CHECK(load_report_json(again) == json);
    }
    LoadTemplate tmpl;
    std::wstring fault;
    std::mt19937_64 rng;
    std::vector<long long> values;
    std::wstring out;
    if (parse_load_template(std::wstring(text.begin(), text.end()), tmpl, fault)) {
        render_load_template(tmpl, 1, 1, rng, &out, values);
        FUZZ_CHECK(values.size() == tmpl.parameters);
    }
    return 0;
}
