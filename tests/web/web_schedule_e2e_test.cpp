// Absences planned ahead, against zelvorad: planned in a browser, put on the
// board at their start as the browser's status edit puts a status, seen by
// the clients and in the status log, overdue after their end; made up by a
// server that was down at their start.

#include "schedule_e2e_support.h"

namespace zv::webtest {
namespace {

namespace b = test::board;

json plan(std::time_t from, std::optional<std::time_t> until, const std::string& status,
          const std::string& comments = "") {
    return {{"from", from},
            {"until", until ? json(*until) : json(nullptr)},
            {"status", status},
            {"reachedAt", "Cell"},
            {"comments", comments}};
}

TEST(WebSchedule, AnAbsencePlannedInTheBrowserComesOnAtItsStartForClientsAndLogAndIsOverdueAfterItsEnd) {
    auto server = startServer({inEntry("Doe,Jane"), inEntry("Roe,Rick")});
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    std::time_t from = wallClock() + 120;
    std::time_t until = from + 2;

    // Refused: an end before the start, one already past, no status, a
    // moment that is none.
    const auto refusedField = [&](const json& body) {
        const HttpResponse answer = jane->request("POST", "/api/my-absences", body.dump());
        EXPECT_EQ(answer.status, 422) << answer.body;
        return bodyOf(answer).value("field", "");
    };
    EXPECT_EQ(refusedField(plan(until, from, "Out")), "until");
    EXPECT_EQ(refusedField(plan(from - 300, from - 200, "Out")), "until");
    EXPECT_EQ(refusedField(plan(from, until, "")), "status");
    EXPECT_EQ(refusedField({{"from", "tomorrow"}, {"status", "Out"}}), "from");

    // A few seconds ahead: time enough to see it upcoming.
    from = wallClock() + 4;
    until = from + 2;
    const HttpResponse planned =
        jane->request("POST", "/api/my-absences", plan(from, until, "Out", "Dentist").dump());
    ASSERT_EQ(planned.status, 201) << planned.body;
    const json absences = bodyOf(planned)["absences"];
    ASSERT_EQ(absences.size(), 1u);
    EXPECT_EQ(absences[0]["from"], from);
    EXPECT_EQ(absences[0]["until"], until);
    EXPECT_EQ(absences[0]["plannedBy"], "Doe,Jane");
    EXPECT_FALSE(absences[0]["applied"]);

    // Upcoming on the board, beside the name (the board follows the change
    // within a moment).
    ASSERT_TRUE(eventually([&] { return !boardRow(*jane, "Doe,Jane")["away"].is_null(); }));
    EXPECT_EQ(boardRow(*jane, "Doe,Jane")["away"],
              (json{{"from", from}, {"until", until}, {"status", "Out"}}));
    EXPECT_TRUE(boardRow(*jane, "Roe,Rick")["away"].is_null());

    // At its start: the board record, as a status edit sets it.
    ASSERT_TRUE(eventually(
        [&] { return boardEntry(records(*server, RecordKind::Board), "Doe,Jane")[b::Status] == "Out"; }));
    EXPECT_GE(wallClock(), from);
    const Fields stored = boardEntry(records(*server, RecordKind::Board), "Doe,Jane");
    EXPECT_EQ(stored[b::Returning], returningText(until));
    EXPECT_EQ(stored[b::ReachedAt], "Cell");
    EXPECT_EQ(stored[b::Comments], "Dentist");
    EXPECT_FALSE(stored[b::StatusChanged].empty());
    // One status log record, as the edit logs it.
    ASSERT_TRUE(eventually([&] { return !records(*server, RecordKind::Log).empty(); }));
    const auto log = records(*server, RecordKind::Log);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(log[0].begin() + 4, log[0].end()),
              (std::vector<std::string>{"Out", returningText(until), "Cell", "Dentist"}));
    // A client's next bundle carries it.
    const auto bundle = sectionRecords(test::splitBundle(clientLogin(*server, "Roe,Rick", "pw")).wiwo);
    EXPECT_EQ(boardEntry(bundle, "Doe,Jane"), stored);
    EXPECT_TRUE(bodyOf(jane->get("/api/my-absences"))["absences"][0]["applied"]);

    // After its end the board reads its returning time as passed: overdue.
    ASSERT_TRUE(
        eventually([&] { return wallClock() > until && boardRow(*jane, "Doe,Jane")["status"] == "Out"; }));
    const json row = boardRow(*jane, "Doe,Jane");
    EXPECT_EQ(row["status"], "Out");
    EXPECT_EQ(row["returnsAt"], until);
    EXPECT_TRUE(row["away"].is_null());
    EXPECT_TRUE(bodyOf(jane->get("/api/my-absences"))["absences"].empty());

    // The administrator plans for Rick and cancels it; Jane may not cancel it.
    auto admin = administrator(*server);
    const HttpResponse forRick = admin->request(
        "POST", "/api/admin/absences",
        json{{"employee", "Roe,Rick"}, {"from", wallClock() + 3600}, {"until", nullptr}, {"status", "Sick"}}
            .dump());
    ASSERT_EQ(forRick.status, 201) << forRick.body;
    const json ricks = bodyOf(forRick)["absences"];
    ASSERT_EQ(ricks.size(), 1u);
    EXPECT_TRUE(ricks[0]["until"].is_null());
    const std::string id = std::to_string(ricks[0]["id"].get<std::uint64_t>());
    EXPECT_EQ(jane->request("DELETE", "/api/my-absences/" + id).status, 422);
    EXPECT_TRUE(
        eventually([&] { return boardRow(*jane, "Roe,Rick")["away"].value("status", "") == "Sick"; }));
    EXPECT_EQ(admin->request("DELETE", "/api/admin/absences/" + id).status, 200);
    EXPECT_EQ(admin->request("DELETE", "/api/admin/absences/" + id).status, 404);
    EXPECT_TRUE(bodyOf(admin->get("/api/admin/absences"))["absences"].empty());
    const std::string lines = server->stderrText();
    EXPECT_NE(lines.find("planned an absence of \"Roe,Rick\" (\"Sick\")"), std::string::npos) << lines;
    EXPECT_NE(lines.find("cancelled an absence of \"Roe,Rick\""), std::string::npos) << lines;
    EXPECT_EQ(server->stop(), 0);
}

TEST(WebSchedule, AServerStoppedOverAnAbsencesStartPutsItOnTheBoardWhenItStartsUnlessItEnded) {
    auto server = startServer({inEntry("Doe,Jane"), inEntry("Roe,Rick")});
    const std::time_t start = wallClock();
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    auto rick = signedIn(*server, "Roe,Rick", "pw");
    ASSERT_EQ(
        jane->request("POST", "/api/my-absences", plan(start + 2, start + 3600, "On vacation").dump()).status,
        201);
    ASSERT_EQ(
        rick->request("POST", "/api/my-absences", plan(start + 2, start + 3, "In a meeting").dump()).status,
        201);
    ASSERT_EQ(server->stop(), 0);

    ASSERT_TRUE(eventually([&] { return wallClock() > start + 3; }));
    server->start();
    ASSERT_TRUE(eventually([&] {
        return boardEntry(records(*server, RecordKind::Board), "Doe,Jane")[b::Status] == "On vacation";
    }));
    EXPECT_EQ(boardEntry(records(*server, RecordKind::Board), "Roe,Rick")[b::Status], "In");
    ASSERT_TRUE(eventually([&] { return !records(*server, RecordKind::Log).empty(); }));
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 1u);

    // Jane punches in: her absence stays overridden, also over a restart.
    auto back = signedIn(*server, "Doe,Jane", "pw");
    ASSERT_EQ(back->request("POST", "/api/punch", R"({"action":"in"})").status, 200);
    EXPECT_TRUE(bodyOf(back->get("/api/my-absences"))["absences"].empty());
    ASSERT_EQ(server->stop(), 0);
    server->start();
    auto again = signedIn(*server, "Doe,Jane", "pw");
    EXPECT_TRUE(bodyOf(again->get("/api/my-absences"))["absences"].empty());
    EXPECT_EQ(boardEntry(records(*server, RecordKind::Board), "Doe,Jane")[b::Status], "In");
    EXPECT_EQ(records(*server, RecordKind::Log).size(), 2u);
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
