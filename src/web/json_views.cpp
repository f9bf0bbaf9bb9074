#include "web/json_views.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "stores/code_page.h"
#include "web/field_input.h"

namespace zv::web {

namespace {

// A JSON string literal of `text`; `recordBytes` says whether its bytes
// above 0x7F are the clients' code page (converted here) or already UTF-8.
void appendLiteral(std::string& out, std::string_view text, bool recordBytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out.append("\\\""); break;
            case '\\': out.append("\\\\"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            case '\t': out.append("\\t"); break;
            default:
                if (u < 0x20) {
                    out.append("\\u00");
                    out.push_back(kHex[u >> 4]);
                    out.push_back(kHex[u & 15]);
                } else if (u >= 0x80 && recordBytes) {
                    codepage::appendUtf8(out, text.substr(i, 1));
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

void appendText(std::string& out, const char* key, std::string_view recordBytes) {
    out.push_back('"');
    out.append(key);
    out.append("\":");
    appendLiteral(out, recordBytes, true);
}

void appendMoment(std::string& out, const char* key, const std::optional<std::time_t>& at) {
    out.push_back('"');
    out.append(key);
    out.append("\":");
    out.append(at ? std::to_string(static_cast<long long>(*at)) : "null");
}

}  // namespace

void appendJsonString(std::string& out, std::string_view utf8) { appendLiteral(out, utf8, false); }

void appendBoardRowFields(std::string& out, const TBoardRow& row) {
    appendText(out, "employee", row.Employee);
    out.push_back(',');
    appendText(out, "firstName", row.FirstName);
    out.push_back(',');
    appendText(out, "lastName", row.LastName);
    out.push_back(',');
    appendText(out, "department", row.Department);
    out.push_back(',');
    appendText(out, "status", row.Status);
    out.push_back(',');
    appendText(out, "returning", row.Returning);
    out.push_back(',');
    appendText(out, "reachedAt", row.ReachedAt);
    out.push_back(',');
    appendText(out, "comments", row.Comments);
    out.push_back(',');
    appendText(out, "workPhone", row.WorkPhone);
    out.push_back(',');
    appendText(out, "extension", row.Extension);
    out.push_back(',');
    appendText(out, "since", row.StatusChanged);
    out.push_back(',');
    appendMoment(out, "sinceAt", row.statusSince);
    out.push_back(',');
    appendMoment(out, "returnsAt", row.returnsAt);
    out.append(",\"away\":");
    if (row.away) {
        out.push_back('{');
        appendMoment(out, "from", row.away->from);
        out.push_back(',');
        appendMoment(out, "until", row.away->until);
        out.push_back(',');
        appendText(out, "status", row.away->Status);
        out.push_back('}');
    } else {
        out.append("null");
    }
}

std::string departmentsJson(const std::vector<TBoardRow>& rows) {
    std::vector<std::string> departments;
    for (const TBoardRow& row : rows) {
        if (!row.Department.empty()) departments.push_back(row.Department);
    }
    std::sort(departments.begin(), departments.end());
    departments.erase(std::unique(departments.begin(), departments.end()), departments.end());
    std::string out = "[";
    for (std::size_t i = 0; i < departments.size(); ++i) {
        if (i > 0) out.push_back(',');
        appendLiteral(out, departments[i], true);
    }
    out.push_back(']');
    return out;
}

std::string boardJson(const std::vector<TBoardRow>& rows) {
    std::string out;
    out.reserve(64 + rows.size() * 320);
    out.append("{\"departments\":");
    out.append(departmentsJson(rows));
    out.append(",\"rows\":[");
    bool first = true;
    for (const TBoardRow& row : rows) {
        if (!first) out.push_back(',');
        first = false;
        out.push_back('{');
        appendBoardRowFields(out, row);
        out.push_back('}');
    }
    out.append("]}");
    return out;
}

nlohmann::json employeeJson(const TWIWONode& employee) {
    return {
        {"employee", shownText(employee.Employee)},
        {"firstName", shownText(employee.FirstName)},
        {"lastName", shownText(employee.LastName)},
        {"department", shownText(employee.Department)},
        {"status", shownText(employee.Status)},
        {"returning", shownText(employee.Returning)},
        {"reachedAt", shownText(employee.ReachedAt)},
        {"comments", shownText(employee.Comments)},
        {"since", shownText(employee.StatusChanged)},
    };
}

nlohmann::json presetsJson(const std::vector<TStatusPreset>& presets) {
    nlohmann::json out = nlohmann::json::array();
    for (const TStatusPreset& p : presets)
        out.push_back({{"name", p.name}, {"colour", p.colour}, {"away", p.away}});
    return out;
}

}  // namespace zv::web
