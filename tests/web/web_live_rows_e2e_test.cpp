// The board at 500 accounts over HTTP: a change reaches an open page as the
// one row that changed (with its new version), not the board; the board
// comes gzip-compressed to a browser that accepts it. And the one-tap
// statuses: kept by the administrator in the settings file, read by the
// pages; a returning time written and read in the office's format.
#include <zlib.h>

#include "temp_dir.h"
#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

using namespace std::chrono_literals;

std::string gunzip(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    std::string out;
    int result = Z_OK;
    while (result == Z_OK) {
        char chunk[65536];
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    EXPECT_EQ(result, Z_STREAM_END);
    inflateEnd(&z);
    return out;
}

std::vector<Fields> accounts(int count) {
    std::vector<Fields> board;
    for (int i = 0; i < count; ++i) {
        const std::string key = i == 0 ? "Doe,Jane" : "Person" + std::to_string(i) + ",Some";
        board.push_back(test::boardRecord(key, "pw", i % 2 ? "Sales" : "Support", "In"));
    }
    return board;
}

TEST(WebLiveRows,
     AChangeAt500AccountsSendsTheOneRowNotTheBoardGzippedWhenAcceptedAndAMessageToItsRecipientAlone) {
    auto server = startServer(accounts(500));
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    const HttpResponse first = jane->get("/api/board");
    ASSERT_EQ(first.status, 200);
    const json before = bodyOf(first);
    ASSERT_EQ(before["rows"].size(), 500u);

    test::EventStream stream(server->webPort(), jane->sessionToken());
    ASSERT_EQ(stream.status(), 200);
    EXPECT_EQ(stream.nextEvent("board"), first.header("ETag"));
    // The administration's pages fetch what they show: they are told the
    // board's version alone, never the rows.
    auto admin = administrator(*server);
    test::EventStream adminStream(server->webPort(), "zv_admin=" + admin->cookies["zv_admin"], "/api/admin/events");
    ASSERT_EQ(adminStream.status(), 200);
    EXPECT_EQ(adminStream.nextEvent("board"), first.header("ETag"));

    const HttpResponse changed =
        jane->request("PUT", "/api/my-status",
                      R"({"status":"At lunch","returning":"2:30 PM","reachedAt":"","comments":"back soon"})");
    ASSERT_EQ(changed.status, 200) << changed.body;

    // The page that holds the version before gets the one row, in well under 2 KB.
    const std::string rows = stream.nextEventOf({"board", "rows"});
    ASSERT_EQ(rows.rfind("rows\n", 0), 0u) << rows;
    EXPECT_EQ(adminStream.nextEventOf({"board", "rows"}).rfind("board\n", 0), 0u);
    EXPECT_LT(rows.size() + std::string("event: data: \n\n").size(), 2048u);
    const json delta = json::parse(rows.substr(5));
    EXPECT_EQ(delta["base"], first.header("ETag"));
    ASSERT_EQ(delta["rows"].size(), 1u);
    const json& row = delta["rows"][0];
    EXPECT_EQ(row["employee"], "Doe,Jane");
    EXPECT_EQ(row["status"], "At lunch");
    EXPECT_EQ(row["comments"], "back soon");
    // Away at lunch with a returning time: the moment it names, for the overdue mark.
    EXPECT_TRUE(row["returnsAt"].is_number());

    // The board of the new version is the old one with that row: only its version moved.
    const HttpResponse plain = jane->get("/api/board");
    EXPECT_EQ(plain.header("ETag"), delta["tag"]);
    EXPECT_EQ(plain.header("Content-Encoding"), "");
    EXPECT_EQ(plain.header("Vary"), "Accept-Encoding");
    const json after = bodyOf(plain);
    EXPECT_EQ(after["rows"][0], row);
    EXPECT_NE(after["rows"][0]["v"], before["rows"][0]["v"]);
    for (std::size_t i = 1; i < 500; ++i) ASSERT_TRUE(after["rows"][i] == before["rows"][i]) << i;

    // gzip when the browser accepts it, the same text inside, far smaller.
    const HttpResponse zipped =
        jane->request("GET", "/api/board", {}, {{"Accept-Encoding", "br, gzip, deflate"}});
    EXPECT_EQ(zipped.status, 200);
    EXPECT_EQ(zipped.header("Content-Encoding"), "gzip");
    EXPECT_TRUE(gunzip(zipped.body) == plain.body);
    EXPECT_LT(zipped.body.size() * 5, plain.body.size());
    const HttpResponse refused = jane->request("GET", "/api/board", {}, {{"Accept-Encoding", "gzip;q=0"}});
    EXPECT_EQ(refused.header("Content-Encoding"), "");
    EXPECT_TRUE(refused.body == plain.body);
    const HttpResponse script = jane->request("GET", "/app.js", {}, {{"Accept-Encoding", "gzip"}});
    EXPECT_EQ(script.header("Content-Encoding"), "gzip");
    EXPECT_NE(gunzip(script.body).find("signedIn"), std::string::npos);

    // A message for Person1 is told to Person1's pages alone: Jane's page
    // hears nothing of it before her next change.
    auto person = signedIn(*server, "Person1,Some", "pw");
    test::EventStream personStream(server->webPort(), person->sessionToken());
    personStream.nextEvent("board");
    ASSERT_EQ(
        jane->request("POST", "/api/messages", R"({"recipient":"Person1,Some","caller":"A. Caller"})").status,
        201);
    EXPECT_EQ(personStream.nextEventOf({"inbox", "rows", "board"}), "inbox\nchanged");
    const json waiting = bodyOf(person->get("/api/my-messages"))["items"];
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0]["caller"], "A. Caller");
    EXPECT_EQ(waiting[0]["takenBy"], "Doe,Jane");
    ASSERT_EQ(jane->request("PUT", "/api/my-status",
                            R"({"status":"In","returning":"","reachedAt":"","comments":""})")
                  .status,
              200);
    EXPECT_EQ(stream.nextEventOf({"inbox", "rows", "board"}).rfind("rows\n", 0), 0u);
    // Done: gone from the store, and the page is told.
    EXPECT_EQ(person
                  ->request("POST", "/api/my-messages/done",
                            json({{"kind", "message"}, {"id", waiting[0]["id"]}}).dump())
                  .status,
              204);
    EXPECT_EQ(personStream.nextEventOf({"inbox"}), "inbox\nchanged");
    EXPECT_TRUE(records(*server, RecordKind::Message).empty());
    EXPECT_EQ(person
                  ->request("POST", "/api/my-messages/done",
                            json({{"kind", "message"}, {"id", waiting[0]["id"]}}).dump())
                  .status,
              404);

    EXPECT_EQ(server->stop(), 0);
}

TEST(WebLiveRows,
     ForgivingNamesCountTheirFailuresTogetherStatusesAreKeptInTheSettingsAndReturningTimesReadBack) {
    auto server = startServer(accounts(2));
    auto jane = signedIn(*server, "jane doe", "pw");  // a forgiving name
    // Every spelling of the name counts its failures together.
    HttpClient guesser(server->webPort(), "127.0.0.1", "127.0.0.3");
    for (const char* name : {"Doe,Jane", "jane doe", "JANE DOE", "Doe, Jane", " doe   jane", "DOE,JANE"}) {
        EXPECT_EQ(guesser.signIn(name, "guess").status, 401) << name;
    }
    EXPECT_EQ(guesser.signIn("Jane Doe", "pw").status, 429);
    const json defaults = bodyOf(jane->get("/api/status-presets"))["presets"];
    ASSERT_EQ(defaults.size(), 7u);
    EXPECT_EQ(defaults[2], json({{"name", "At lunch"}, {"colour", "#ef6c00"}, {"away", true}}));

    auto admin = administrator(*server);
    const HttpResponse bad = admin->request("PUT", "/api/admin/status-presets",
                                            R"({"presets":[{"name":"In","colour":"green","away":false}]})");
    EXPECT_EQ(bad.status, 422);
    EXPECT_NE(bad.body.find("#2e7d32"), std::string::npos) << bad.body;
    const HttpResponse set = admin->request(
        "PUT", "/api/admin/status-presets",
        R"({"presets":[{"name":"In","colour":"#2e7d32","away":false},{"name":"At the dentist","colour":"#AA0000","away":true}]})");
    ASSERT_EQ(set.status, 200) << set.body;
    EXPECT_EQ(bodyOf(jane->get("/api/status-presets"))["presets"][1]["name"], "At the dentist");
    EXPECT_TRUE(eventually([&] {
        return test::readFile(server->iniPath())
                   .find("StatusPresets=In,#2e7d32,present;At the dentist,#AA0000,away\r\n") !=
               std::string::npos;
    }));

    // A moment comes back as the text to store; a text as the moment it names.
    const std::time_t inAnHour = std::time(nullptr) + 3600;
    const json written = bodyOf(jane->request("POST", "/api/returning", json({{"at", inAnHour}}).dump()));
    const json read =
        bodyOf(jane->request("POST", "/api/returning", json({{"text", written["text"]}}).dump()));
    EXPECT_LE(std::abs(read["at"].get<long long>() - inAnHour), 1) << written;
    EXPECT_TRUE(
        bodyOf(jane->request("POST", "/api/returning", R"({"text":"tomorrow 9am"})"))["at"].is_null());
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
