// The settings file: what it looks like, what it keeps, how it survives bad contents and
// failed writes.
#include "../read_file.hpp"
#include "os/settings/file_settings.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

using tests::ReadFile;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values)
        out.push_back(static_cast<std::byte>(v));
    return out;
}

class FileSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(MIRELO_BINARY_DIR) / "settings-scratch" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    fs::path dir;
};

TEST_F(FileSettingsTest, RoundTripKeepsForeignLinesAndSeesOtherWriters) {
    const fs::path file = dir / "mirelo" / "settings.ini";
    os::FileSettings settings(file.string());
    EXPECT_EQ(settings.Open("\\Software\\Mirelo", false), nullptr);

    // First run: the folder and the file are made when the key is created.
    auto key = settings.Open("\\Software\\Mirelo", true);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(fs::status(dir / "mirelo").permissions() & fs::perms::all, fs::perms::owner_all);
    ASSERT_TRUE(key->Write("Top", os::SettingValue::Integer(198)));
    EXPECT_EQ(ReadFile(file), "# Mirelo settings\n[\\Software\\Mirelo]\nTop=dword:198\n");

    // Someone edits the file by hand: comments, another key, a type we do not know.
    WriteFile(file, "# Mirelo settings\r\n"
                    "[Other]\n"
                    "X=dword:1\n"
                    "\n"
                    "; placement\n"
                    "[\\Software\\Mirelo]\n"
                    "  top = dword: 4294967295 \n"
                    "Odd=qword:12\n"
                    "# trailing comment\n"
                    "[Last]");
    key = settings.Open("\\SOFTWARE\\mirelo", false);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Read("TOP")->data, Bytes({0xff, 0xff, 0xff, 0xff}));
    EXPECT_TRUE(key->ValueExists("odd"));
    EXPECT_FALSE(key->Read("odd").has_value());
    EXPECT_FALSE(key->ValueExists("Left"));

    os::SettingValue blob;
    blob.data = Bytes({0x01, 0xff, 0x20});
    ASSERT_TRUE(key->Write("Left", os::SettingValue::Integer(-5)));
    ASSERT_TRUE(key->Write("Name", os::SettingValue::Text(" a=b\\c\nd\x01 ")));
    ASSERT_TRUE(key->Write("Blob", blob));
    ASSERT_TRUE(key->Write("tOp", os::SettingValue::Integer(7)));
    ASSERT_TRUE(key->Write("odd", os::SettingValue::Integer(3)));
    ASSERT_TRUE(key->Write("=#x", os::SettingValue::Integer(0)));
    EXPECT_EQ(ReadFile(file), "# Mirelo settings\r\n"
                              "[Other]\n"
                              "X=dword:1\n"
                              "\n"
                              "; placement\n"
                              "[\\Software\\Mirelo]\n"
                              "top=dword:7\n"
                              "Odd=dword:3\n"
                              "Left=dword:-5\n"
                              "Name=text:\\x20a=b\\\\c\\nd\\x01\\x20\n"
                              "Blob=hex:01,ff,20\n"
                              "\\=#x=dword:0\n"
                              "# trailing comment\n"
                              "[Last]\n");
    EXPECT_EQ(Entries(dir / "mirelo"), std::vector<std::string>{"settings.ini"});

    // Another store on the same file reads it all back.
    os::FileSettings again(file.string());
    auto other = again.Open("Software\\Mirelo\\", false);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->Read("Name")->data, os::SettingValue::Text(" a=b\\c\nd\x01 ").data);
    EXPECT_EQ(other->Read("Name")->type, os::SettingType::Text);
    EXPECT_EQ(other->Read("blob")->data, blob.data);
    EXPECT_EQ(other->Read("blob")->type, os::SettingType::Binary);
    EXPECT_EQ(other->Read("Left")->data, os::SettingValue::Integer(-5).data);
    EXPECT_EQ(other->Read("=#X")->data, os::SettingValue::Integer(0).data);
    // A parent key exists while its subkey does.
    EXPECT_NE(again.Open("\\Software", false), nullptr);

    // A write through one key keeps what the other wrote after it was opened.
    ASSERT_TRUE(other->Write("ScrWidth", os::SettingValue::Integer(1920)));
    ASSERT_TRUE(key->Write("ScrHeight", os::SettingValue::Integer(1080)));
    auto fresh = settings.Open("\\Software\\Mirelo", false);
    EXPECT_EQ(fresh->Read("ScrWidth")->data, os::SettingValue::Integer(1920).data);
    EXPECT_EQ(fresh->Read("ScrHeight")->data, os::SettingValue::Integer(1080).data);
}

TEST_F(FileSettingsTest, BadFileIsMovedAsideNamedAndDefaultsUsed) {
    const fs::path file = dir / "settings.ini";
    const std::string bad =
        "# Mirelo settings\n[\\Software\\Mirelo]\nTop=dword:198\nLeft=dword:1x6\n";
    WriteFile(file, bad);
    os::FileSettings settings(file.string());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(settings.Open("\\Software\\Mirelo", false), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "mirelo: settings file '" + file.string() +
                  "' line 4: '1x6' is not a 32-bit integer; moved aside to '" + file.string() +
                  ".bad', using defaults\n");
    EXPECT_EQ(ReadFile(dir / "settings.ini.bad"), bad);
    EXPECT_FALSE(fs::exists(file));

    // The program goes on as on a first run.
    auto key = settings.Open("\\Software\\Mirelo", true);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->Write("Top", os::SettingValue::Integer(198)));
    EXPECT_EQ(ReadFile(file), "# Mirelo settings\n[\\Software\\Mirelo]\nTop=dword:198\n");
    EXPECT_EQ(ReadFile(dir / "settings.ini.bad"), bad);

    // A file too large to be settings is not read at all.
    WriteFile(file, std::string(2u << 20, '#'));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(settings.Open("\\Software\\Mirelo", false), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "mirelo: settings file '" + file.string() +
                  "' is larger than 1048576 bytes; moved aside to '" + file.string() +
                  ".bad', using defaults\n");
    EXPECT_EQ(fs::file_size(dir / "settings.ini.bad"), 2u << 20);
}

// Lowers the largest file this process may write, as a full disk would; writes past it
// fail with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(FileSettingsTest, FailedWritesLeaveTheOldFile) {
    // A folder that cannot be made: a regular file stands where it would be.
    WriteFile(dir / "blocked", "");
    os::FileSettings nowhere((dir / "blocked" / "mirelo" / "settings.ini").string());
    EXPECT_EQ(nowhere.Open("\\Software\\Mirelo", true), nullptr);
    EXPECT_EQ(nowhere.Open("\\Software\\Mirelo", false), nullptr);

    const fs::path file = dir / "settings.ini";
    os::FileSettings settings(file.string());
    auto key = settings.Open("\\Software\\Mirelo", true);
    ASSERT_TRUE(key->Write("Top", os::SettingValue::Integer(198)));
    const std::string before = ReadFile(file);

    os::SettingValue big;
    big.data.resize(4096);
    {
        const FileSizeLimit full_disk(before.size() + 100);
        EXPECT_FALSE(key->Write("Blob", big));
    }
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"blocked", "settings.ini"}));
    EXPECT_FALSE(key->ValueExists("Blob"));
    EXPECT_EQ(key->Read("Top")->data, os::SettingValue::Integer(198).data);

    // Neither can an integer of the wrong size nor a nameless value be stored.
    os::SettingValue short_integer;
    short_integer.type = os::SettingType::Integer;
    short_integer.data = Bytes({1, 2});
    EXPECT_FALSE(key->Write("Short", short_integer));
    EXPECT_FALSE(key->Write("", os::SettingValue::Integer(1)));
    EXPECT_EQ(ReadFile(file), before);
}

TEST(FileSettings, DefaultPathFollowsTheBaseDirectoryRules) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::string saved_xdg = xdg ? xdg : "", saved_home = home ? home : "";
    ::setenv("HOME", "/home/ann", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(os::FileSettings::DefaultPath(), "/cfg/mirelo/settings.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(os::FileSettings::DefaultPath(), "/home/ann/.config/mirelo/settings.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(os::FileSettings::DefaultPath(), "/home/ann/.config/mirelo/settings.ini");
    xdg ? ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    home ? ::setenv("HOME", saved_home.c_str(), 1) : ::unsetenv("HOME");
}

} // namespace
