// The settings store object: its three errors, raised exactly where the store fails, over
// the simulated store and over a real file.
#include "framework/application.hpp"
#include "framework/registry.hpp"
#include "os/settings/file_settings.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

// The message of the ERegistryException that `f` raises, or "" when it raises none.
std::string Error(const std::function<void()>& f) {
    try {
        f();
    } catch (const fw::ERegistryException& e) {
        return e.what();
    }
    return "";
}

TEST(Registry, RaisesWhereTheSimulatedStoreFails) {
    os::SimPlatform platform;
    fw::Runtime runtime(platform);
    os::SimSettings& store = platform.Settings();
    fw::TRegistry reg; // the platform's store

    // Neither opened nor created: nothing can be read or written.
    store.fail_open = true;
    EXPECT_FALSE(reg.OpenKey("\\Software\\Mirelo", true));
    EXPECT_FALSE(reg.ValueExists("Top"));
    EXPECT_EQ(Error([&] { reg.ReadInteger("Top"); }), "Failed to get data for 'Top'");
    EXPECT_EQ(Error([&] { reg.WriteInteger("Top", 198); }), "Failed to set data for 'Top'");
    EXPECT_TRUE(store.keys.empty());

    store.fail_open = false;
    EXPECT_FALSE(reg.OpenKey("\\Software\\Mirelo", false));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Mirelo", true));
    reg.WriteInteger("Top", -198);
    EXPECT_EQ(reg.ReadInteger("TOP"), -198);
    EXPECT_EQ(store.keys.at("\\Software\\Mirelo").at("Top").data,
              os::SettingValue::Integer(-198).data);

    store.fail_read = true;
    EXPECT_TRUE(reg.ValueExists("Top"));
    EXPECT_EQ(Error([&] { reg.ReadInteger("Top"); }), "Failed to get data for 'Top'");
    store.fail_read = false;

    store.fail_write = true;
    EXPECT_EQ(Error([&] { reg.WriteInteger("Left", 166); }), "Failed to set data for 'Left'");
    EXPECT_FALSE(reg.ValueExists("Left"));
    store.fail_write = false;

    // Types and sizes: four bytes of anything but an integer are the wrong type, more than
    // four bytes do not arrive at all.
    auto& values = store.keys.at("\\Software\\Mirelo");
    values["Name"] = os::SettingValue::Text("abc");
    values["Long"] = os::SettingValue::Text("too long");
    values["Blob"].data.resize(4);
    EXPECT_EQ(Error([&] { reg.ReadInteger("Name"); }), "Invalid data type for 'Name'");
    EXPECT_EQ(Error([&] { reg.ReadInteger("Long"); }), "Failed to get data for 'Long'");
    EXPECT_EQ(Error([&] { reg.ReadInteger("Blob"); }), "Invalid data type for 'Blob'");
    EXPECT_EQ(Error([&] { reg.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");

    reg.CloseKey();
    EXPECT_EQ(Error([&] { reg.WriteInteger("Top", 1); }), "Failed to set data for 'Top'");
}

TEST(Registry, ReadsTheSettingsFileByType) {
    const auto dir = std::filesystem::path(MIRELO_BINARY_DIR) / "settings-scratch" / "registry";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "settings.ini") << "[\\Software\\Mirelo]\n"
                                           "Top=text:198\n"
                                           "Left=hex:a6,00,00,00,00\n"
                                           "ScrWidth=dword:1920\n";
    os::FileSettings store((dir / "settings.ini").string());
    fw::TRegistry reg(store);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Mirelo", false));
    EXPECT_EQ(Error([&] { reg.ReadInteger("Top"); }), "Invalid data type for 'Top'");
    EXPECT_EQ(Error([&] { reg.ReadInteger("Left"); }), "Failed to get data for 'Left'");
    EXPECT_EQ(reg.ReadInteger("ScrWidth"), 1920);
    reg.WriteInteger("Top", 198);
    EXPECT_EQ(reg.ReadInteger("Top"), 198);
}

} // namespace
