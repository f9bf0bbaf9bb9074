// The settings file "zva.ini": first start, legacy import, missing keys, bad
// numbers, window placement and the exact bytes written.

#include <gtest/gtest.h>

#include <cstring>

#include "host/ini_file.h"
#include "host/settings.h"
#include "recording_view.h"
#include "stores/date_time.h"
#include "temp_dir.h"

namespace zv {
namespace {

using test::readFile;
using test::RecordingView;
using test::TempDir;
using test::writeFile;

// A legacy file: six 260-byte slots, each a length then a zero-ended text.
std::string legacyBytes(const std::string& smtp, const std::string& port,
                        const std::string& block, const std::string& slot4,
                        const std::string& expDays, const std::string& maxLog) {
    std::string bytes(1560, '\0');
    const std::string texts[6] = {smtp, port, block, slot4, expDays, maxLog};
    for (int i = 0; i < 6; ++i) {
        const std::uint32_t len = static_cast<std::uint32_t>(texts[i].size());
        std::memcpy(&bytes[static_cast<std::size_t>(i) * 260], &len, 4);
        bytes.replace(static_cast<std::size_t>(i) * 260 + 4, texts[i].size(), texts[i]);
    }
    return bytes;
}

TEST(SettingsFile, FirstStartWithoutAnyFileWritesTheDefaultsWithCrLfLines) {
    TempDir dir;
    RecordingView view;
    view.placement = {{10, 20, 700, 400}, WindowState::Normal};
    TSettings s;
    loadSettings(s, dir.path(), view);

    EXPECT_EQ(s.BlockSize, "8192");
    EXPECT_EQ(s.SMTPHost, "");
    EXPECT_EQ(s.Port, "6480");
    EXPECT_EQ(s.ExpDays, "1");
    EXPECT_EQ(s.MaxLogSize, "100");
    EXPECT_EQ(s.blockSizeInUse, 8192);
    EXPECT_EQ(s.logSizeLimit, 100);
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
    EXPECT_EQ(readFile(dir.file("zva.ini")),
              "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=6480\r\nExpDays=1\r\n"
              "MaxLogSize=100\r\nIdleTimeout=600\r\nMaxClients=10000\r\n\r\n[Screen]\r\nLeft=10\r\n"
              "Top=20\r\nWidth=700\r\nHeight=400\r\nStatus=1\r\n"
              "\r\n[Web]\r\nPort=8480\r\nAddress=\r\nCertFile=\r\nKeyFile=\r\n");
}

TEST(SettingsFile, LegacyFileIsImportedThenDeletedAndAShortOneIsLeftAlone) {
    {
        TempDir dir;
        writeFile(dir.file("qtadmin.ini"),
                  legacyBytes(" mail.example.com\t", "7000 ", "4096", "ignored", "3", "250"));
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);
        EXPECT_EQ(s.SMTPHost, "mail.example.com");
        EXPECT_EQ(s.Port, "7000");
        EXPECT_EQ(s.BlockSize, "4096");
        EXPECT_EQ(s.ExpDays, "3");
        EXPECT_EQ(s.MaxLogSize, "250");
        EXPECT_EQ(s.blockSizeInUse, 4096);
        EXPECT_EQ(s.logSizeLimit, 250);
        EXPECT_FALSE(test::fileExists(dir.file("qtadmin.ini")));
        const std::string ini = readFile(dir.file("zva.ini"));
        EXPECT_NE(ini.find("SMTPHost=mail.example.com\r\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find("Port=7000\r\n"), std::string::npos) << ini;
        EXPECT_EQ(ini.find("ignored"), std::string::npos);
        // Spaces and tabs around a value, which the new file cannot hold, are
        // dropped at once: the next start reads what this one used.
        TSettings again;
        loadSettings(again, dir.path(), view);
        EXPECT_EQ(again.SMTPHost, s.SMTPHost);
        EXPECT_EQ(again.Port, s.Port);
        EXPECT_TRUE(view.messages.empty()) << view.allMessages();
    }
    {
        // A slot without a zero byte gives all 256 characters.
        TempDir dir;
        std::string bytes = legacyBytes("", "6480", "8192", "", "1", "100");
        std::memset(&bytes[4], 'h', 256);
        writeFile(dir.file("qtadmin.ini"), bytes);
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);
        EXPECT_EQ(s.SMTPHost, std::string(256, 'h'));
    }
    {
        // Fewer than 1560 bytes: the defaults, and the legacy file stays.
        TempDir dir;
        writeFile(dir.file("qtadmin.ini"),
                  legacyBytes("mail", "7000", "4096", "", "3", "250").substr(0, 1559));
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);
        EXPECT_EQ(s.Port, "6480");
        EXPECT_EQ(s.SMTPHost, "");
        EXPECT_TRUE(test::fileExists(dir.file("qtadmin.ini")));
        EXPECT_TRUE(test::fileExists(dir.file("zva.ini")));
    }
}

TEST(SettingsFile, TheLegacyFileStaysWhenTheNewFileCannotBeWritten) {
    TempDir dir;
    test::makeFolder(dir.file("zva.ini"));  // a folder where the file should be
    writeFile(dir.file("qtadmin.ini"), legacyBytes("mail", "7000", "4096", "", "3", "250"));
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.Port, "7000");  // imported for this run
    EXPECT_TRUE(test::fileExists(dir.file("qtadmin.ini")));
    EXPECT_NE(view.allMessages().find("zva.ini"), std::string::npos) << view.allMessages();
}

TEST(SettingsFile, MissingKeysKeepTheValuesInMemoryAndMaxLogSizeFallsBackTo100) {
    TempDir dir;
    writeFile(dir.file("zva.ini"), "[Options]\r\nSMTPHost=relay\r\nPort=7001\r\n");
    RecordingView view;
    TSettings s;
    s.ExpDays = "5";      // what memory held before the load
    s.BlockSize = "2048";
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.SMTPHost, "relay");
    EXPECT_EQ(s.Port, "7001");
    EXPECT_EQ(s.ExpDays, "5");
    EXPECT_EQ(s.BlockSize, "2048");
    EXPECT_EQ(s.blockSizeInUse, 2048);
    EXPECT_EQ(s.MaxLogSize, "100");
    EXPECT_EQ(s.logSizeLimit, 100);
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
    EXPECT_TRUE(view.applied.empty());  // no Status key: placement untouched

    // Keys and sections are found whatever their letter case.
    writeFile(dir.file("zva.ini"), "[options]\nblocksize = 1024\nPORT=9\n");
    TSettings t;
    loadSettings(t, dir.path(), view);
    EXPECT_EQ(t.blockSizeInUse, 1024);
    EXPECT_EQ(t.Port, "9");
}

TEST(SettingsFile, NumbersThatAreNotWholeAreReportedAndReplacedByTheDefaults) {
    TempDir dir;
    writeFile(dir.file("zva.ini"),
              "[Options]\r\nBlockSize=8k\r\nSMTPHost=\r\nPort=6480\r\nExpDays=1\r\nMaxLogSize=\r\n");
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.blockSizeInUse, 8192);
    EXPECT_EQ(s.logSizeLimit, 100);
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].kind, MessageKind::Warning);
    EXPECT_NE(view.messages[0].text.find("BlockSize"), std::string::npos);
    EXPECT_NE(view.messages[0].text.find("\"8k\""), std::string::npos);
    EXPECT_NE(view.messages[1].text.find("MaxLogSize"), std::string::npos);

    // A block size of 0 or below is a whole number: the sessions deal with it.
    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=-5\r\nExpDays=0\r\nMaxLogSize=0\r\n");
    RecordingView quiet;
    TSettings t;
    loadSettings(t, dir.path(), quiet);
    EXPECT_EQ(t.blockSizeInUse, -5);
    EXPECT_EQ(t.logSizeLimit, 0);
    EXPECT_TRUE(quiet.messages.empty());

    // ExpDays, read at every login, is checked the same way: a file without the
    // key would otherwise leave it empty and fail every login.
    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=1024\r\nMaxLogSize=5\r\n");
    RecordingView expView;
    TSettings e;
    loadSettings(e, dir.path(), expView);
    EXPECT_EQ(e.ExpDays, "1");
    ASSERT_EQ(expView.messages.size(), 1u);
    EXPECT_NE(expView.messages[0].text.find("ExpDays"), std::string::npos);

    EXPECT_EQ(wholeNumber("2147483647"), 2147483647);
    EXPECT_EQ(wholeNumber("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(wholeNumber("2147483648"));
    EXPECT_FALSE(wholeNumber(" 12"));
    EXPECT_FALSE(wholeNumber("+"));
    EXPECT_EQ(wholeNumber("+12"), 12);
}

TEST(SettingsFile, IdleTimeoutAndMaxClientsDefaultWhenMissingAndBadTextsAreReported) {
    TempDir dir;
    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\nExpDays=1\r\nMaxLogSize=100\r\n");
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.idleTimeoutSeconds, 600);
    EXPECT_EQ(s.maxClients, 10000);
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();

    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\nExpDays=1\r\nMaxLogSize=100\r\n"
                                   "IdleTimeout=0\r\nMaxClients=2\r\n");
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.idleTimeoutSeconds, 0);  // never
    EXPECT_EQ(s.maxClients, 2);
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();

    for (const auto& [idle, clients] : {std::pair{"ten minutes", "-1"}, std::pair{"-5", "0"}}) {
        writeFile(dir.file("zva.ini"), std::string("[Options]\r\nBlockSize=8192\r\nExpDays=1\r\n"
                                                   "MaxLogSize=100\r\nIdleTimeout=") +
                                           idle + "\r\nMaxClients=" + clients + "\r\n");
        RecordingView bad;
        TSettings t;
        loadSettings(t, dir.path(), bad);
        EXPECT_EQ(t.idleTimeoutSeconds, 600);
        EXPECT_EQ(t.IdleTimeout, "600");
        EXPECT_EQ(t.maxClients, 10000);
        ASSERT_EQ(bad.messages.size(), 2u) << bad.allMessages();
        EXPECT_NE(bad.messages[0].text.find("IdleTimeout"), std::string::npos) << bad.messages[0].text;
        EXPECT_NE(bad.messages[0].text.find(std::string("\"") + idle + "\""), std::string::npos);
        EXPECT_NE(bad.messages[1].text.find("MaxClients"), std::string::npos) << bad.messages[1].text;
        EXPECT_NE(bad.messages[1].text.find("at least 1"), std::string::npos) << bad.messages[1].text;
    }
}

TEST(SettingsFile, ScreenStatusDecidesWhetherThePlacementIsApplied) {
    TempDir dir;
    {
        writeFile(dir.file("zva.ini"),
                  "[Options]\r\nBlockSize=8192\r\n[Screen]\r\nLeft=1\r\nTop=2\r\nWidth=3\r\n"
                  "Height=4\r\nStatus=0\r\n");
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);
        EXPECT_TRUE(view.applied.empty());  // 0: where the system put it
    }
    for (int status : {1, 2, 3, 7}) {
        writeFile(dir.file("zva.ini"),
                  "[Options]\r\nBlockSize=8192\r\n[Screen]\r\nLeft=1\r\nTop=2\r\nWidth=300\r\n"
                  "Status=" + std::to_string(status) + "\r\n");
        RecordingView view;
        view.placement = {{50, 60, 700, 400}, WindowState::Normal};
        TSettings s;
        loadSettings(s, dir.path(), view);
        ASSERT_EQ(view.applied.size(), 1u) << status;
        EXPECT_EQ(view.applied[0].first, windowStateOfStatus(status));
        // Height is missing: the window's current height stays.
        EXPECT_EQ(view.applied[0].second, (WindowRect{1, 2, 300, 400}));
    }
}

TEST(SettingsFile, SavingKeepsUnknownKeysAndWritesOnlyStatusForAMinimisedWindow) {
    TempDir dir;
    writeFile(dir.file("zva.ini"),
              "[Options]\r\nPort=1\r\nCustom=kept\r\n\r\n[Screen]\r\nLeft=5\r\nTop=6\r\n"
              "Width=7\r\nHeight=8\r\nStatus=1\r\n\r\n[Other]\r\nX=y\r\n");
    RecordingView view;
    view.placement = {{90, 91, 92, 93}, WindowState::Minimized};
    TSettings s{"host", "6480", "4096", "2", "50", 4096, 50};
    saveSettings(s, dir.path(), view);
    EXPECT_EQ(readFile(dir.file("zva.ini")),
              "[Options]\r\nPort=6480\r\nCustom=kept\r\nBlockSize=4096\r\nSMTPHost=host\r\n"
              "ExpDays=2\r\nMaxLogSize=50\r\nIdleTimeout=600\r\nMaxClients=10000\r\n\r\n"
              "[Screen]\r\nLeft=5\r\nTop=6\r\nWidth=7\r\n"
              "Height=8\r\nStatus=2\r\n\r\n[Other]\r\nX=y\r\n"
              "\r\n[Web]\r\nPort=8480\r\nAddress=\r\nCertFile=\r\nKeyFile=\r\n");

    view.placement.state = WindowState::Maximized;
    saveSettings(s, dir.path(), view);
    EXPECT_NE(readFile(dir.file("zva.ini")).find("Left=5\r\n"), std::string::npos);
    EXPECT_NE(readFile(dir.file("zva.ini")).find("Status=3\r\n"), std::string::npos);

    view.placement.state = WindowState::Normal;
    saveSettings(s, dir.path(), view);
    EXPECT_NE(readFile(dir.file("zva.ini")).find("Left=90\r\nTop=91\r\nWidth=92\r\nHeight=93\r\nStatus=1\r\n"),
              std::string::npos);
}

TEST(SettingsFile, ABareCrInsideALineIsWrittenBackAsItWasRead) {
    // "[Opt\rions]" is not [Options]: rewritten at shutdown it must not become
    // a second [Options] whose Port takes effect at the next start.
    TempDir dir;
    const std::string foreign = "[Opt\rions]\r\nPort=7000\r\n\r\n";
    const std::string other = "[Other]\r\nNote=a\rb\r\nKey\r2=c\r\n";
    writeFile(dir.file("zva.ini"), foreign +
                                       "[Options]\r\nBlockSize=4096\r\nSMTPHost=\r\nPort=6480\r\nExpDays=1\r\n"
                                       "MaxLogSize=100\r\n\r\n" +
                                       other);
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.Port, "6480");
    saveSettings(s, dir.path(), view);
    saveSettings(s, dir.path(), view);
    const std::string written = readFile(dir.file("zva.ini"));
    EXPECT_EQ(written.rfind(foreign, 0), 0u) << written;
    EXPECT_NE(written.find(other), std::string::npos) << written;

    TSettings again;
    loadSettings(again, dir.path(), view);
    EXPECT_EQ(again.Port, "6480");
    EXPECT_EQ(again.BlockSize, "4096");
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
}

TEST(SettingsFile, AUtf8SignatureAtTheStartHidesNoLineFromTheChecksAndTheFileSettlesAtOnce) {
    // An editor's signature before a line that opens a section name without
    // closing it: that line is left out as it is without the signature,
    // rather than filing the keys below it under a name that grows.
    TempDir dir;
    const std::string options = "[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=7000\r\nExpDays=1\r\n";
    writeFile(dir.file("zva.ini"), "\xEF\xBB\xBF[Opt\r\nCustom=kept\r\n\r\n" + options);
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(s.Port, "7000");
    saveSettings(s, dir.path(), view);
    const std::string once = readFile(dir.file("zva.ini"));
    EXPECT_EQ(once.rfind("Custom=kept\r\n\r\n" + options, 0), 0u) << once;
    TSettings again;
    loadSettings(again, dir.path(), view);
    saveSettings(again, dir.path(), view);
    EXPECT_EQ(readFile(dir.file("zva.ini")), once);

    // A key further down whose name begins with those bytes (below a blank
    // line, or below a line left out) is written first: a blank line before
    // it keeps it a key at the next read.
    for (const char* start : {"\r\n", "[left open\r\n"}) {
        writeFile(dir.file("zva.ini"), start + std::string("\xEF\xBB\xBF[Custom=kept\r\n\r\n") + options);
        for (int save = 0; save < 2; ++save) {
            TSettings next;
            loadSettings(next, dir.path(), view);
            saveSettings(next, dir.path(), view);
            const std::string written = readFile(dir.file("zva.ini"));
            EXPECT_EQ(written.rfind("\r\n\xEF\xBB\xBF[Custom=kept\r\n\r\n" + options, 0), 0u) << written;
        }
    }
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
}

TEST(SettingsFile, CommentsWrittenByHandAreKeptAndTheFileSettlesAfterOneSave) {
    // The ini library files a comment as the file's own or as a section's by
    // the blank lines around it, and places blank lines by where it filed it:
    // a comment that opened the file moved a blank line at every save.
    TempDir dir;
    writeFile(dir.file("zva.ini"), "\r\n\r\n; set up by hand\r\n[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\n"
                                   "Port=7000\r\nExpDays=1\r\n; the mail host\r\nMaxLogSize=100\r\n");
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    saveSettings(s, dir.path(), view);
    const std::string once = readFile(dir.file("zva.ini"));
    EXPECT_EQ(once.rfind("; set up by hand\r\n", 0), 0u) << once;
    EXPECT_NE(once.find("; the mail host\r\nMaxLogSize=100\r\n"), std::string::npos) << once;
    for (int save = 0; save < 2; ++save) {
        TSettings again;
        loadSettings(again, dir.path(), view);
        EXPECT_EQ(again.Port, "7000");
        saveSettings(again, dir.path(), view);
        EXPECT_EQ(readFile(dir.file("zva.ini")), once);
    }
    EXPECT_TRUE(view.messages.empty()) << view.allMessages();
}

TEST(SettingsFile, AFolderThatCannotBeWrittenIsReportedAndTheDefaultsStillApply) {
    RecordingView view;
    TSettings s;
    loadSettings(s, "/proc/no-such-folder", view);
    EXPECT_EQ(s.blockSizeInUse, 8192);
    EXPECT_EQ(s.Port, "6480");
    ASSERT_FALSE(view.messages.empty());
    EXPECT_NE(view.messages[0].text.find("zva.ini"), std::string::npos) << view.allMessages();
    EXPECT_THROW(saveSettings(s, "/proc/no-such-folder", view), SettingsError);
}

TEST(SettingsFile, RegionalSectionSetsTheDateAndTimeFormats) {
    TempDir dir;
    writeFile(dir.file("zva.ini"),
              "[Options]\r\nBlockSize=8192\r\n[Regional]\r\nShortDateFormat=dd.MM.yyyy\r\n"
              "LongTimeFormat=HH:mm:ss\r\n");
    RecordingView view;
    TSettings s;
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(datetime::shortDateFormat(), "dd.MM.yyyy");
    EXPECT_EQ(datetime::longTimeFormat(), "HH:mm:ss");

    writeFile(dir.file("zva.ini"), "[Options]\r\nBlockSize=8192\r\n");
    loadSettings(s, dir.path(), view);
    EXPECT_EQ(datetime::shortDateFormat(), "M/d/yy");
    EXPECT_EQ(datetime::longTimeFormat(), "h:mm:ss AM/PM");
}

}  // namespace
}  // namespace zv
