// The pure parts of driver reports: decoding of SQLGetInfo answers, the JSON
// written and read back, the diff and the probes' wire.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>

#include "info_table.h"
#include "probes.h"
#include "report.h"

namespace {
const InfoType& info(const char* name) {
    const InfoType* t = info_type_by_name(name);
    EXPECT_NE(t, nullptr) << name;
    return *t;
}

// A fixed-size answer as the driver writes it.
template <typename T>
std::string decoded(const char* name, T value) {
    return decode_info(info(name), &value, sizeof value, sizeof value);
}

Report sample() {
    Report r;
    r.source = "src";
    r.sections = {{"info", {{"SQL_DBMS_VER", "1.0"}, {"SQL_TXN_CAPABLE", "SQL_TC_ALL"}}},
                  {"functions", {{"SQL_API_SQLFETCH", "supported"}}}};
    r.probes = {{"txn_capable", "SQL_TC_ALL", "a rollback undid an insert", "agree"}};
    return r;
}
}  // namespace

TEST(DriverInfo, AnswersDecodeByKind) {
    EXPECT_EQ(decoded<SQLUINTEGER>("SQL_GETDATA_EXTENSIONS", SQL_GD_ANY_COLUMN | SQL_GD_BOUND | 0x4000),
              "SQL_GD_ANY_COLUMN|SQL_GD_BOUND|0x4000");
    EXPECT_EQ(decoded<SQLUINTEGER>("SQL_GETDATA_EXTENSIONS", 0), "(none)");
    EXPECT_EQ(decoded<SQLUSMALLINT>("SQL_TXN_CAPABLE", SQL_TC_DDL_COMMIT), "SQL_TC_DDL_COMMIT");
    EXPECT_EQ(decoded<SQLUSMALLINT>("SQL_TXN_CAPABLE", 77), "77");
    // Commit behaviours and concatenation of NULL share SQL_CB_ values: each has its own names.
    EXPECT_EQ(decoded<SQLUSMALLINT>("SQL_CURSOR_COMMIT_BEHAVIOR", 1), "SQL_CB_CLOSE");
    EXPECT_EQ(decoded<SQLUSMALLINT>("SQL_CONCAT_NULL_BEHAVIOR", 1), "SQL_CB_NON_NULL");
    EXPECT_EQ(decoded<SQLUSMALLINT>("SQL_MAX_COLUMN_NAME_LEN", 128), "128");
}

TEST(DriverInfo, StringAnswersStayInTheirBuffer) {
    const char16_t text[] = u"Y\U0001F600x";
    const InfoType& t = info("SQL_DATA_SOURCE_READ_ONLY");
    EXPECT_EQ(decode_info(t, text, sizeof text, 4 * sizeof(char16_t)), "Y\xF0\x9F\x98\x80x");
    // A length past the buffer, a negative one, a terminator counted in it.
    EXPECT_EQ(decode_info(t, text, 2 * sizeof(char16_t), 1000), "Y\xEF\xBF\xBD");
    EXPECT_EQ(decode_info(t, text, sizeof text, -4), "");
    EXPECT_EQ(decode_info(t, text, sizeof text, sizeof text), "Y\xF0\x9F\x98\x80x");
}

TEST(DriverInfo, TablesHaveUniqueNames) {
    for (size_t i = 0; i < kInfoTypeCount; ++i)
        for (size_t k = i + 1; k < kInfoTypeCount; ++k) {
            EXPECT_STRNE(kInfoTypes[i].name, kInfoTypes[k].name);
            EXPECT_NE(kInfoTypes[i].id, kInfoTypes[k].id) << kInfoTypes[i].name << " " << kInfoTypes[k].name;
        }
    for (size_t i = 1; i < kFunctionIdCount; ++i) EXPECT_LT(kFunctionIds[i - 1].value, kFunctionIds[i].value);
}

TEST(DriverReport, JsonReadsBackAsWritten) {
    Report r = sample();
    r.probes[0].observed = "tab\t\"quoted\" \\ \x01 bad \xFF byte";
    const std::string json = report_json(r);
    EXPECT_NE(json.find("\\u0001 bad \\ufffd byte"), std::string::npos) << json;
    Report back;
    std::string why;
    ASSERT_TRUE(report_from_json(json, back, why)) << why;
    EXPECT_EQ(back.source, "src");
    ASSERT_EQ(back.sections.size(), 2u);
    EXPECT_EQ(back.sections[0].entries[1].value, "SQL_TC_ALL");
    EXPECT_EQ(back.probes[0].observed, "tab\t\"quoted\" \\ \x01 bad \xEF\xBF\xBD byte");
    EXPECT_TRUE(diff_reports(r, back, {}).size() == 0);
}

TEST(DriverReport, NoReportIsRefusedWithReason) {
    Report r;
    std::string why;
    for (const char* text : {"not json", "[1, 2]", "{\"rows\": []}", "{\"wsql_driver_report\": 2, \"sections\": {}, \"probes\": []}",
                             "{\"wsql_driver_report\": 1, \"sections\": {\"info\": {\"A\": 3}}, \"probes\": []}",
                             "{\"wsql_driver_report\": 1, \"sections\": {}, \"probes\": [{\"name\": \"x\"}]}"}) {
        why.clear();
        EXPECT_FALSE(report_from_json(text, r, why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(DriverDiff, ListsAddedRemovedChangedAndVerdicts) {
    const Report a = sample();
    Report b = sample();
    b.sections[0].entries[0].value = "2.0";
    b.sections[1].entries.clear();
    b.sections[1].entries.push_back({"SQL_API_SQLCANCEL", "supported"});
    b.probes[0].verdict = "disagree";
    b.probes[0].observed = "1 rows left";  // only the verdict counts
    const std::vector<Difference> d = diff_reports(a, b, {});
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].kind + " " + d[0].key + " " + d[0].before + " " + d[0].after, "changed info.SQL_DBMS_VER 1.0 2.0");
    EXPECT_EQ(d[1].kind + " " + d[1].key, "removed functions.SQL_API_SQLFETCH");
    EXPECT_EQ(d[2].kind + " " + d[2].key + " " + d[2].after, "verdict probe.txn_capable disagree");
    EXPECT_EQ(d[3].kind + " " + d[3].key, "added functions.SQL_API_SQLCANCEL");
    EXPECT_EQ(diff_reports(a, b, {"info.SQL_DBMS_VER", "functions.*", "probe.txn_*"}).size(), 0u);
    EXPECT_EQ(diff_text({}), "0 differences\n");
}

TEST(DriverProbes, WireCarriesOneResultWhole) {
    const ProbeResult r{"p", "claim\nwith line", "seen\x1fthere", "agree"};
    ProbeResult back;
    ASSERT_TRUE(probe_from_wire(probe_wire(r), back));
    EXPECT_EQ(back.claim, "claim with line");
    EXPECT_EQ(back.observed, "seen there");
    EXPECT_EQ(back.verdict, "agree");
    EXPECT_FALSE(probe_from_wire("p\x1f" "c\x1f" "o", back) || probe_from_wire("", back));  // cut off by a crash
}
