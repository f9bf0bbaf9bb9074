// The [Web] settings as a running zelvorad takes them: a setting that keeps
// the HTTP side from starting is reported once and the clients are served
// as before.

#include "web_e2e_support.h"

namespace zv::webtest {
namespace {

TEST(WebSettingsInUse, ASideThatCannotStartIsReportedOnceAndTheClientsAreServed) {
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cases = {
        {{{"CertFile", "cert.pem"}}, "HTTPS needs both CertFile and KeyFile of section [Web]"},
        {{{"CertFile", "cert.pem"}, {"KeyFile", "key.pem"}}, "The CertFile of section [Web]"},
        {{{"Address", "not-an-address"}}, "\"not-an-address\" (Address of section [Web]): it is not an IPv4 or IPv6"},
    };
    for (const auto& [web, says] : cases) {
        auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);
        const int webPort = server->enableWeb(web);
        test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, {test::boardRecord("Doe,Jane", "pw")});
        server->start();
        ASSERT_TRUE(eventually([&] { return server->stderrText().find("[Web]") != std::string::npos; })) << says;
        const std::string errors = server->stderrText();
        EXPECT_NE(errors.find(says), std::string::npos) << errors;
        EXPECT_NE(errors.find("The Zelvora Clients are served as before"), std::string::npos) << errors;
        EXPECT_FALSE(TcpClient().tryConnect(webPort)) << says;
        EXPECT_EQ(sectionRecords(test::splitBundle(clientLogin(*server, "Doe,Jane", "pw")).wiwo).size(), 1u);
        EXPECT_EQ(server->stop(), 0);
    }
}

TEST(WebSettingsInUse, PortZeroTurnsTheSideOffWithoutAWord) {
    auto server = std::make_unique<ServerProcess>(ZV_ZELVORAD_PATH);  // writes [Web] Port=0
    test::writeRecordFile(server->dataFile("wiwo.dat"), RecordKind::Board, {test::boardRecord("Doe,Jane", "pw")});
    server->start();
    EXPECT_EQ(sectionRecords(test::splitBundle(clientLogin(*server, "Doe,Jane", "pw")).wiwo).size(), 1u);
    EXPECT_EQ(server->stop(), 0);
    EXPECT_EQ(server->stderrText().find("warning"), std::string::npos) << server->stderrText();
}

}  // namespace
}  // namespace zv::webtest
