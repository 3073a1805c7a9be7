// A form description is outside data: the size it stores for a form must not make the form
// hold more pixels than the screen can show.
#include "framework/application.hpp"
#include "framework/form_reader.hpp"
#include "framework/forms.hpp"
#include "os/sim_platform.hpp"

#include "../heap_peak.hpp"

#include <gtest/gtest.h>

namespace {

class TSizedForm : public fw::TForm {
    FW_CLASS(TSizedForm, fw::TForm)
public:
    using TForm::TForm;
    static void Describe(fw::TClassBuilder<TSizedForm>&) {}
};

TEST(FormSize, AStoredSizeBeyondTheScreenGivesAWindowNoLargerThanTheScreen) {
    os::SimPlatform platform;
    fw::Runtime runtime(platform);
    const os::Size screen = platform.Screen().ScreenSize();
    TSizedForm form(nullptr);
    // 80 bytes that, taken as they stand, would ask for two windows of a gigabyte each.
    const auto peak = heap_peak::During([&] {
        fw::ReadComponent("object F: TSizedForm\n  ClientWidth = 16000\n  ClientHeight = 16000\n"
                          "  Visible = True\nend\n",
                          form);
    });
    EXPECT_EQ(form.Width(), screen.width);
    EXPECT_EQ(form.Height(), screen.height);
    ASSERT_TRUE(form.HandleAllocated());
    const os::Rect bounds = platform.Screen().Window(form.DisplayWindow()).bounds;
    EXPECT_EQ(bounds.Width(), screen.width);
    EXPECT_EQ(bounds.Height(), screen.height);
    if (peak) EXPECT_LE(*peak, std::size_t{64} << 20);

    // Sizes the screen can show stand as given.
    form.SetBounds(10, 20, 300, 200);
    EXPECT_EQ(platform.Screen().Window(form.DisplayWindow()).bounds, (os::Rect{10, 20, 310, 220}));
}

} // namespace
