// A settings file that is there but cannot be opened is never taken for a
// first start: it is reported, and neither the start nor the shutdown writes
// over it; an old settings file beside it stays too.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "host/ini_file.h"
#include "host/settings.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace zv {
namespace {

using test::RecordingView;
using test::TempDir;
using test::writeFile;

std::string legacyFile(const std::string& smtp, const std::string& port) {
    std::string bytes(1560, '\0');
    const std::string texts[6] = {smtp, port, "4096", "", "3", "250"};
    for (int i = 0; i < 6; ++i) {
        const std::uint32_t len = static_cast<std::uint32_t>(texts[i].size());
        std::memcpy(&bytes[static_cast<std::size_t>(i) * 260], &len, 4);
        bytes.replace(static_cast<std::size_t>(i) * 260 + 4, texts[i].size(), texts[i]);
    }
    return bytes;
}

TEST(SettingsFileThatCannotBeOpened, IsReportedAndNeverWrittenOverAtStartOrShutdown) {
    namespace fs = std::filesystem;
    {
        // A link that leads nowhere but to itself: the file is there, and
        // opening it fails (as it does for a file the server may not read).
        TempDir dir;
        fs::create_symlink("zva.ini", dir.file("zva.ini"));
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);

        EXPECT_EQ(s.Port, "6480");
        EXPECT_EQ(s.blockSizeInUse, 8192);
        EXPECT_NE(view.allMessages().find("zva.ini"), std::string::npos) << view.allMessages();
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.file("zva.ini")))) << "the file was written over";

        // The shutdown's save refuses as well.
        EXPECT_THROW(saveSettings(s, dir.path(), view), SettingsError);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.file("zva.ini"))));
        EXPECT_FALSE(test::fileExists(dir.file("zva.ini.tmp")));
    }
    {
        // With an old settings file beside it: used for this run, and kept.
        TempDir dir;
        fs::create_symlink("zva.ini", dir.file("zva.ini"));
        writeFile(dir.file("qtadmin.ini"), legacyFile("mail.example.com", "7000"));
        RecordingView view;
        TSettings s;
        loadSettings(s, dir.path(), view);

        EXPECT_EQ(s.Port, "7000");
        EXPECT_EQ(s.SMTPHost, "mail.example.com");
        EXPECT_TRUE(test::fileExists(dir.file("qtadmin.ini"))) << "the old file was deleted";
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.file("zva.ini"))));
    }
    {
        // The low-level reader: missing is "no file", anything else an error
        // naming the file.
        TempDir dir;
        IniFile ini;
        EXPECT_FALSE(ini.load(dir.file("zva.ini")));
        fs::create_symlink("zva.ini", dir.file("zva.ini"));
        try {
            ini.load(dir.file("zva.ini"));
            ADD_FAILURE() << "no error for a file that cannot be opened";
        } catch (const SettingsError& e) {
            EXPECT_NE(std::string(e.what()).find(dir.file("zva.ini")), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace zv
