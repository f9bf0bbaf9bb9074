// The [Web] keys of "zva.ini": defaults, a port that is no port, and the
// keys kept as they were written.

#include <gtest/gtest.h>

#include "host/settings.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace zv {
namespace {

using test::readFile;
using test::RecordingView;
using test::TempDir;
using test::writeFile;

TEST(WebSettings, AFileWithoutTheSectionTurnsTheHttpSideOnAtTheDefaultPortAndWritesIt) {
    TempDir dir;
    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\nExpDays=1\r\nMaxLogSize=100\r\n");
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.WebPort, "8480");
    EXPECT_EQ(s.webPortInUse, 8480);
    EXPECT_EQ(s.WebAddress, "");
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
    saveSettings(s, dir.path(), view);
    EXPECT_NE(readFile(dir.file("zva.ini")).find("[Web]\r\nPort=8480\r\nAddress=\r\nCertFile=\r\nKeyFile=\r\n"),
              std::string::npos);
}

TEST(WebSettings, APortThatIsNoPortIsReportedAndTheDefaultTakenWhileZeroTurnsItOff) {
    for (const auto& [text, reported] : std::vector<std::pair<std::string, bool>>{
             {"eighty", true}, {"70000", true}, {"-1", true}, {"0", false}, {"9090", false}}) {
        TempDir dir;
        writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\nExpDays=1\r\nMaxLogSize=100\r\n[Web]\r\nPort=" +
                                           text + "\r\nAddress=127.0.0.1\r\nCertFile=c.pem\r\nKeyFile=k.pem\r\n");
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);
        if (reported) {
            ASSERT_EQ(view.messages.size(), 1u) << text;
            EXPECT_NE(view.messages[0].text.find("Port of section [Web]"), std::string::npos);
            EXPECT_NE(view.messages[0].text.find("\"" + text + "\""), std::string::npos);
            EXPECT_EQ(s.webPortInUse, 8480);
        } else {
            EXPECT_TRUE(view.messages.empty()) << view.allMessages();
            EXPECT_EQ(s.webPortInUse, std::stoi(text));
        }
        EXPECT_EQ(s.WebAddress, "127.0.0.1");
        EXPECT_EQ(s.WebCertFile, "c.pem");
        EXPECT_EQ(s.WebKeyFile, "k.pem");
    }
}

}  // namespace
}  // namespace zv
