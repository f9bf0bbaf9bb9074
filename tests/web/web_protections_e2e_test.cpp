// The protections of the HTTP side against a foreign page, a spreadsheet,
// an eavesdropper and a careless request: the first-run set-up only for this
// computer by name, formulas in the log export, TLS, HEAD on the live stream,
// the administrator's password, the files' modes and the headers every
// answer carries.

#include <sys/stat.h>

#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

using namespace std::chrono_literals;

constexpr const char* kAdminPassword = "office-keys-1";

unsigned modeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

TEST(WebProtections, TheFilesTheServerCreatesAreForItsOwnUserAloneAndAnExistingFileKeepsItsMode) {
    ::umask(022);
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
    server->enableWeb();
    server->start();  // a fresh data folder
    for (const char* name :
         {"wiwo.dat", "wywa.dat", "posti.dat", "department.dat", "phonebook.dat", "log_stat.dat"}) {
        EXPECT_EQ(modeOf(server->dataFile(name)), 0600u) << name;
    }
    // Saved anew, a file keeps the mode it has.
    ASSERT_EQ(::chmod(server->dataFile("department.dat").c_str(), 0640), 0);
    HttpClient admin(server->webPort());
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);
    ASSERT_EQ(admin.request("POST", "/api/admin/departments", R"({"name":"Sales"})").status, 201);
    ASSERT_EQ(admin
                  .request("POST", "/api/admin/accounts",
                           R"({"lastName":"Doe","firstName":"Jane","password":"pw","department":"Sales"})")
                  .status,
              201);
    EXPECT_EQ(records(*server, RecordKind::Department).size(), 1u);
    EXPECT_EQ(modeOf(server->dataFile("department.dat")), 0640u);
    EXPECT_EQ(modeOf(server->dataFile("wiwo.dat")), 0600u);
    EXPECT_EQ(server->stop(), 0);

    // A settings file the server makes.
    const std::string fresh = server->tempFile("fresh-zva.ini");
    server->setArguments({"--config", fresh, "--set-admin-password"});
    std::string said;
    ASSERT_EQ(server->runSecondCopy(&said, 20s, "0123456789\n"), 0) << said;
    EXPECT_EQ(modeOf(fresh), 0600u);
}

TEST(WebProtections, TheLogExportTurnsFormulasIntoTextAndBeginsWithAByteOrderMark) {
    auto server = startServer({test::boardRecord("Doe,Jane", "pw")});
    auto jane = signedIn(*server, "Doe,Jane", "pw");
    const HttpResponse edited =
        jane->request("PUT", "/api/my-status",
                      R"json({"status":"Out","returning":"+1 555 0100","reachedAt":"@home",)json"
                      R"json("comments":"=HYPERLINK(\"http://x.example\",\"Open\")"})json");
    ASSERT_EQ(edited.status, 200) << edited.body;
    HttpClient admin(server->webPort());
    ASSERT_EQ(admin.adminSetUp(kAdminPassword).status, 201);

    const HttpResponse csv = admin.get("/api/admin/log.csv");
    ASSERT_EQ(csv.status, 200);
    EXPECT_EQ(csv.body.rfind("\xEF\xBB\xBF"
                             "Employee,Department,Date,Time,Status,Returning,ReachedAt,Comments\r\n",
                             0),
              0u)
        << csv.body;
    EXPECT_NE(
        csv.body.find(",Out,'+1 555 0100,'@home,\"'=HYPERLINK(\"\"http://x.example\"\",\"\"Open\"\")\"\r\n"),
        std::string::npos)
        << csv.body;
    // The log itself keeps the texts as they were typed.
    EXPECT_EQ(bodyOf(admin.get("/api/admin/log"))["rows"][0]["reachedAt"], "@home");
    EXPECT_EQ(server->stop(), 0);
}

}  // namespace
}  // namespace zv::webtest
