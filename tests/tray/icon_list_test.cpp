// The icon list: its change brackets, assignment, and the "Icons" block read and written,
// with an empty entry, a corrupt picture and a block cut short.
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"
#include "tray/icon_list.hpp"
#include "tray/tray_icon.hpp"
#include "tray_test_support.hpp"

using traytest::SolidIcon;

namespace {

struct Notices : fw::TObject {
    int count = 0;
    void Changed(fw::TObject*) { ++count; }
};

std::vector<std::byte> Block(std::initializer_list<std::vector<std::byte>> entries,
                             std::int32_t count) {
    fw::TMemoryStream s;
    s.WriteInt32(count);
    for (const auto& e : entries) {
        s.WriteInt32(static_cast<std::int32_t>(e.size()));
        s.WriteBytes(e);
    }
    return {s.Bytes().begin(), s.Bytes().end()};
}

class IconListTest : public traytest::TrayTestBase {
protected:
    tray::TIconList list;
    Notices notices;
    void SetUp() override { list.OnChange = fw::Bind<&Notices::Changed>(notices); }
};

} // namespace

TEST_F(IconListTest, BracketsNotifyOnceAtTheOutermostCloseEvenWithoutChange) {
    list.BeginChanges();
    list.EndChanges();
    EXPECT_EQ(notices.count, 1);
    list.BeginChanges();
    list.BeginChanges();
    list.Add(SolidIcon(0xFF0000).get());
    list.Add(nullptr);
    list.EndChanges();
    EXPECT_EQ(notices.count, 1);
    list.EndChanges();
    EXPECT_EQ(notices.count, 2);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.Items(1)->Empty()) << "adding none gives an empty icon";

    // Writing at Count appends; exactly one notice for it.
    list.SetItems(2, SolidIcon(0x00FF00).get());
    EXPECT_EQ(notices.count, 3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_THROW(list.SetItems(5, nullptr), fw::EListError);
    EXPECT_THROW(list.Items(3), fw::EListError);

    // A change of an owned picture reaches the owner; the list keeps its own copies.
    list.Items(0)->Clear();
    EXPECT_EQ(notices.count, 4);
    auto outside = SolidIcon(0x0000FF);
    list.SetItems(0, outside.get());
    EXPECT_NE(list.Items(0), outside.get());
    EXPECT_EQ(list.IndexOf(outside.get()), -1);
    EXPECT_EQ(list.IndexOf(list.Items(2)), 2);
    list.Move(2, 0);
    list.Exchange(1, 2);
    EXPECT_EQ(list.Items(0)->Images()[0].color.pixels[0], 0x00FF00u);
    EXPECT_EQ(list.Items(2)->Images()[0].color.pixels[0], 0x0000FFu);
}

TEST_F(IconListTest, AStoredBlockWithAnEmptyEntryReadsBackAndWritesTheSame) {
    const auto picture = SolidIcon(0x123456)->SaveToBytes();
    const auto block = Block({{}, picture}, 2);
    fw::TMemoryStream in(block);
    list.ReadFromStream(in);
    EXPECT_EQ(notices.count, 1) << "one notice for the whole read";
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), nullptr);
    ASSERT_NE(list.Items(1), nullptr);
    EXPECT_EQ(list.Items(1)->Images()[0].color.pixels[5], 0x123456u);

    fw::TMemoryStream out;
    list.WriteToStream(out);
    EXPECT_TRUE(std::ranges::equal(out.Bytes(), block));

    // Copied into another list, the empty entry becomes an empty icon.
    tray::TIconList copy;
    copy.Assign(list);
    ASSERT_EQ(copy.Count(), 2);
    ASSERT_NE(copy.Items(0), nullptr);
    EXPECT_TRUE(copy.Items(0)->Empty());
    copy.Assign(*SolidIcon(1));
    EXPECT_EQ(copy.Count(), 1);
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_THROW(copy.Assign(fw::TFont()), fw::EConvertError);
}

TEST_F(IconListTest, ACorruptOrShortBlockFailsWithItsErrorKeepingWhatWasRead) {
    const auto good = SolidIcon(0xABCDEF)->SaveToBytes();
    auto bad = good;
    bad[0] = std::byte{7}; // not an icon directory
    fw::TMemoryStream corrupt(Block({good, bad, good}, 3));
    EXPECT_THROW(list.ReadFromStream(corrupt), fw::Exception);
    EXPECT_EQ(list.Count(), 1);

    // A size beyond the block, and a count of entries that are not there.
    fw::TMemoryStream too_big(Block({}, 1));
    too_big.SetPosition(too_big.Size());
    too_big.WriteInt32(1 << 30);
    too_big.SetPosition(0);
    EXPECT_THROW(list.ReadFromStream(too_big), fw::EStreamError);
    EXPECT_EQ(list.Count(), 0);
    fw::TMemoryStream missing(Block({{}}, 5));
    EXPECT_THROW(list.ReadFromStream(missing), fw::EStreamError);
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(IconListTest, ATrayIconStoresItsFramesAsTheIconsItemOfItsIconsProperty) {
    fw::TComponent form(nullptr);
    form.SetName("Form1");
    auto* icon = new tray::TTrayIcon(&form);
    icon->SetName("TrayIcon1");
    icon->SetActive(false);
    icon->Icons().Add(SolidIcon(0x102030).get());
    icon->Icons().AddEntry(nullptr);
    const std::string text = fw::WriteComponent(form);
    EXPECT_NE(text.find("Active = False"), std::string::npos) << text;
    EXPECT_NE(text.find("Icons.Icons = {"), std::string::npos) << text;
    EXPECT_EQ(text.find("Icon.Data"), std::string::npos) << "an empty icon is not stored";
    icon->SetIcon(*SolidIcon(0x405060));
    const std::string with_icon = fw::WriteComponent(form);
    EXPECT_NE(with_icon.find("Icon.Data = {"), std::string::npos) << with_icon;
    EXPECT_LT(with_icon.find("Icon.Data"), with_icon.find("Icons.Icons")) << "stored in order";

    fw::TComponent again(nullptr);
    fw::ReadComponent(text, again);
    auto* read = dynamic_cast<tray::TTrayIcon*>(again.FindComponent("TrayIcon1"));
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->Icons().Count(), 2);
    EXPECT_EQ(read->Icons().Items(1), nullptr);
    EXPECT_FALSE(read->Added());
}
