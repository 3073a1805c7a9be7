// Form descriptions: reading into live, wired components, writing back byte for byte, and
// the errors of bad descriptions, each naming its line.
#include "form_test_classes.hpp"
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>

using namespace ftest;

namespace {

// Nested components, only values that differ from their defaults, binary blocks on the
// root, on a nested object of the root and on a child, events bound by name, a reference
// to a component read later, strings with quotes, control and non-ASCII bytes.
constexpr const char* kForm = R"form(object Form1: TTestForm
  Left = 249
  Top = 124
  Width = 167
  Height = 170
  Caption = 'It''s a caf'#195#169#13#10'with two lines'
  Cursor = crDrag
  Ratio = 0.1
  Font.Color = clWhite
  Font.Height = -13
  Font.Name = 'Tahoma'
  OnClick = ButtonClick
  BorderIcons = [biSystemMenu, biMinimize]
  Picture.Data = {
    03000000010203}
  Mask2 = {
    24000000202122232425262728292A2B2C2D2E2F303132333435363738393A3B
    3C3D3E3F40414243}
  object Panel1: TTestPanel
    Left = 0
    Top = 0
    Width = 100
    Height = 80
    Enabled = False
    BorderIcons = []
    object Button1: TTestControl
      Left = 8
      Top = 59
      Width = 105
      Height = 52
      Cursor = crHandPoint
      Layout = lyTop
      Ratio = -2.5e-05
      OnClick = ButtonClick
      OnMouseDown = ButtonMouseDown
    end
  end
  object Label1: TTestControl
    Left = 3
    Top = -7
    Caption =
      'The quick brown fox jumps over the lazy dog''s back, then it runs' +
      ' two miles and rests; done.'
    Cursor = 5
    OnClick = ButtonClick
  end
  object Timer1: TTestTimer
    Interval = 10
    Buddy = Timer2
    OnTimer = TimerTick
    Extra = -42
    Blob = {
      0B30557A9FC4E90E33587DA2C7EC11365B80A5CAEF14395E83A8CDF2173C6186
      ABD0F51A3F6489AED3F81D42678CB1D6FB20456A8FB4D9FE23486D92B7DC0126
      4B7095BADF04}
  end
  object Timer2: TTestTimer
    Enabled = False
    Interval = 65535
  end
end
)form";

struct FormTest : ::testing::Test {
    FormTest() {
        RegisterTestClasses();
        Log().clear();
    }
    std::unique_ptr<TTestForm> form = std::make_unique<TTestForm>(nullptr);

    template <class T> T* Find(const char* name) {
        return dynamic_cast<T*>(form->FindComponent(name));
    }
};

// Runs a read of `text` into a fresh form and returns the error (or "" when it succeeded).
struct ReadResult {
    int line = 0;
    std::string message;
};
ReadResult ReadError(const std::string& text) {
    TTestForm form(nullptr);
    try {
        fw::ReadComponent(text, form);
    } catch (const fw::EReadError& e) {
        EXPECT_EQ(form.ComponentCount(), 0) << "a failed read leaves no components behind";
        EXPECT_FALSE(form.ComponentState().contains(fw::csLoading));
        EXPECT_FALSE(form.ComponentState().contains(fw::csReading));
        return {e.Line(), e.what()};
    }
    return {};
}

std::string Body(const std::string& lines) {
    return "object Form1: TTestForm\n" + lines + "end\n";
}

} // namespace

TEST_F(FormTest, ReadsIntoLiveWiredComponentsAndWritesTheSameBytesBack) {
    fw::ReadComponent(kForm, *form);

    // The root and its own stored values, including nested objects and its binary blocks.
    EXPECT_EQ(form->Name(), "Form1");
    EXPECT_EQ(form->GetLeft(), 249);
    EXPECT_EQ(form->GetCaption(), "It's a caf\xC3\xA9\r\nwith two lines");
    EXPECT_EQ(form->Cursor, crDrag);
    EXPECT_EQ(form->Ratio, 0.1);
    EXPECT_EQ(form->GetFont()->Color, 0xFFFFFF);
    EXPECT_EQ(form->GetFont()->Height, -13);
    EXPECT_EQ(form->GetFont()->Name, "Tahoma");
    EXPECT_EQ(form->BorderIcons, (TBorderIcons{biSystemMenu, biMinimize}));
    EXPECT_EQ(form->GetPicture()->Data,
              (std::vector<std::byte>{std::byte{1}, std::byte{2}, std::byte{3}}));
    ASSERT_EQ(form->Mask.size(), 36u);
    EXPECT_EQ(form->Mask.front(), std::byte{0x20});
    EXPECT_EQ(form->Mask.back(), std::byte{0x43});

    // Children: all owned by the form in creation order, nested by parent, fields set.
    ASSERT_EQ(form->ComponentCount(), 5);
    EXPECT_EQ(form->Components(0)->Name(), "Panel1");
    EXPECT_EQ(form->Components(1)->Name(), "Button1");
    EXPECT_EQ(form->Components(4)->Name(), "Timer2");
    ASSERT_NE(form->Panel1, nullptr);
    ASSERT_NE(form->Button1, nullptr);
    ASSERT_NE(form->Timer1, nullptr);
    EXPECT_EQ(form->Panel1, Find<TTestPanel>("Panel1"));
    EXPECT_EQ(form->Button1->Parent, form->Panel1);
    EXPECT_EQ(form->Panel1->Parent, form.get());
    EXPECT_EQ(Find<TTestControl>("Label1")->Parent, form.get());
    EXPECT_FALSE(form->Panel1->Enabled);
    EXPECT_TRUE(form->Panel1->BorderIcons.empty());
    EXPECT_EQ(form->Button1->Layout, lyTop);
    EXPECT_EQ(form->Button1->Ratio, -2.5e-05);
    EXPECT_EQ(Find<TTestControl>("Label1")->Cursor, static_cast<TCursor>(5));
    EXPECT_EQ(Find<TTestControl>("Label1")->GetCaption().size(), 91u);
    EXPECT_EQ(form->Timer1->Interval, 10);
    EXPECT_EQ(form->Timer1->Extra, -42);
    EXPECT_EQ(form->Timer1->Blob.size(), 70u);
    EXPECT_EQ(form->Timer1->GetBuddy(), Find<TTestTimer>("Timer2"));
    EXPECT_EQ(Find<TTestTimer>("Timer2")->Interval, 65535);

    // Events call the named handler on the form, with the raising component as sender.
    form->Button1->OnClick(form->Button1);
    Find<TTestControl>("Label1")->OnClick(form->Panel1);
    form->Button1->OnMouseDown(form->Button1, fw::mbRight, {fw::ssShift}, 4, 5);
    form->Timer1->OnTimer(form->Timer1);
    EXPECT_EQ(form->Clicks, (std::vector<fw::TObject*>{form->Button1, form->Panel1}));
    ASSERT_EQ(form->Presses.size(), 1u);
    EXPECT_EQ(form->Presses[0].button, fw::mbRight);
    EXPECT_EQ(form->Presses[0].y, 5);
    EXPECT_EQ(form->Ticks, (std::vector<fw::TObject*>{form->Timer1}));
    EXPECT_EQ(form->Button1->OnClick, fw::Bind<&TTestForm::ButtonClick>(*form));
    EXPECT_FALSE(Find<TTestTimer>("Timer2")->OnTimer.Assigned());

    // Loaded ran once per component, after everything was read and resolved, root first.
    for (int i = 0; i < form->ComponentCount(); ++i)
        EXPECT_FALSE(form->Components(i)->ComponentState().contains(fw::csLoading));
    EXPECT_EQ(form->Button1->LoadedCount, 1);
    EXPECT_EQ(form->Timer1->LoadedCount, 1);
    const auto& log = Log();
    const auto first_loaded = std::find(log.begin(), log.end(), "Loaded Form1");
    ASSERT_NE(first_loaded, log.end());
    EXPECT_EQ(std::vector<std::string>(first_loaded, log.end()),
              (std::vector<std::string>{"Loaded Form1", "Loaded Panel1", "Loaded Button1",
                                        "Loaded Label1", "Loaded Timer1", "Loaded Timer2"}));

    // Written back: the same bytes.
    EXPECT_EQ(fw::WriteComponent(*form), kForm);
}

TEST_F(FormTest, ParentComesFirstThenPropertiesInStoredOrderWhileLoadingAndReading) {
    fw::ReadComponent(Body("  object Button1: TTestControl\n"
                           "    Height = 3\n    Caption = 'x'\n    Left = 1\n    Top = 2\n"
                           "  end\n"),
                      *form);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Button1.Parent", "Button1.Height",
                                               "Button1.Caption", "Button1.Left", "Button1.Top",
                                               "Loaded Form1", "Loaded Button1"}));
    EXPECT_TRUE(form->Button1->StateAtSet.contains(fw::csLoading));
    EXPECT_TRUE(form->Button1->StateAtSet.contains(fw::csReading));
    EXPECT_FALSE(form->Button1->ComponentState().contains(fw::csReading));
}

TEST_F(FormTest, WriterStoresOnlyValuesThatDifferFromTheirDefaults) {
    form->SetName("Form1");
    auto* timer = fw::New<TTestTimer>(*form);
    timer->SetName("Timer1");
    auto* button = fw::New<TTestControl>(*form);
    button->SetName("Button1");
    button->SetParentComponent(form.get());
    button->SetWidth(25); // the default
    button->Ratio = 1.5;  // the default
    button->Cursor = crHandPoint;
    button->GetFont()->Name = "Courier";
    EXPECT_EQ(fw::WriteComponent(*form), "object Form1: TTestForm\n"
                                         "  Left = 0\n"
                                         "  Top = 0\n"
                                         "  Mask2 = {\n"
                                         "    00000000}\n"
                                         "  object Button1: TTestControl\n"
                                         "    Left = 0\n"
                                         "    Top = 0\n"
                                         "    Cursor = crHandPoint\n"
                                         "    Font.Name = 'Courier'\n"
                                         "  end\n"
                                         "  object Timer1: TTestTimer\n"
                                         "  end\n"
                                         "end\n");
}

TEST_F(FormTest, DefinedPropertiesCompareWithADefaultInstanceMadeInDesignMode) {
    auto* timer = fw::New<TTestTimer>(*form);
    timer->SetName("Timer1");
    const int designed = TTestTimer::DesignedInstances();
    std::string text = fw::WriteComponent(*form);
    EXPECT_TRUE(timer->SawAncestor);
    EXPECT_EQ(TTestTimer::DesignedInstances(), designed + 1);
    EXPECT_EQ(text.find("Blob"), std::string::npos) << "an empty block equals the default";

    timer->Blob = {std::byte{0xAB}};
    text = fw::WriteComponent(*form);
    EXPECT_NE(text.find("    Blob = {\n      AB}\n"), std::string::npos) << text;
}

TEST_F(FormTest, ValuesSurviveARoundTripExactly) {
    auto* button = fw::New<TTestControl>(*form);
    button->SetName("Button1");
    button->SetParentComponent(form.get());
    const double ratios[] = {1.0 / 3.0, 1e-300, -123456789.125, 2.0, 5e22};
    std::string caption;
    for (int c = 0; c < 256; ++c)
        caption += static_cast<char>(c);
    caption += "''#'";
    for (double ratio : ratios) {
        button->Ratio = ratio;
        button->SetCaption(caption);
        const std::string text = fw::WriteComponent(*form);
        TTestForm copy(nullptr);
        fw::ReadComponent(text, copy);
        ASSERT_NE(copy.Button1, nullptr);
        EXPECT_EQ(copy.Button1->Ratio, ratio);
        EXPECT_EQ(copy.Button1->GetCaption(), caption);
        EXPECT_EQ(fw::WriteComponent(copy), text);
    }
}

TEST_F(FormTest, ReadsLinesEndedTheWindowsWay) {
    std::string crlf;
    for (const char* p = kForm; *p; ++p) {
        if (*p == '\n') crlf += '\r';
        crlf += *p;
    }
    fw::ReadComponent(crlf, *form);
    EXPECT_EQ(fw::WriteComponent(*form), kForm);
}

TEST_F(FormTest, ReadsANewRootFromTheRegistryWithOrWithoutOwner) {
    auto root = fw::ReadNewComponent(kForm);
    ASSERT_NE(dynamic_cast<TTestForm*>(root.get()), nullptr);
    EXPECT_EQ(root->Name(), "Form1");
    EXPECT_EQ(root->ComponentCount(), 5);

    fw::TComponent application(nullptr);
    fw::TComponent& owned = fw::ReadNewComponent(kForm, application);
    EXPECT_EQ(owned.Owner(), &application);
    EXPECT_EQ(application.FindComponent("Form1"), &owned);

    // A failed read takes the new root away again.
    EXPECT_THROW(fw::ReadNewComponent("object Form2: TTestForm\n  Bogus = 1\nend\n", application),
                 fw::EReadError);
    EXPECT_EQ(application.ComponentCount(), 1);
}

TEST_F(FormTest, ComponentsReadIntoADesigningRootAreDesigning) {
    form->SetDesigning(true);
    fw::ReadComponent(kForm, *form);
    EXPECT_TRUE(form->Button1->ComponentState().contains(fw::csDesigning));
    EXPECT_EQ(fw::WriteComponent(*form), kForm);
}

TEST(FormErrors, EachKindOfErrorNamesItsLine) {
    RegisterTestClasses();
    struct Case {
        std::string text;
        int line;
        std::string says;
    };
    const std::string button = "  object Button1: TTestControl\n";
    const Case cases[] = {
        {"", 1, "'object' expected but end of text found"},
        {"object Form1: TTestPanel\nend\n", 1, "not of a TTestForm"},
        {Body("  object X: TNoSuchClass\n  end\n"), 2, "class TNoSuchClass is not registered"},
        {Body("  Left = 1\n  Colour = 3\n"), 3, "unknown property Colour"},
        {Body("  Font.Weight = 3\n"), 2, "unknown property Weight"},
        {Body("  Caption.Text = 'a'\n"), 2, "has no object property Caption"},
        {Body("  Font = 3\n"), 2, "is an object"},
        {Body("  OnClick = NoSuchHandler\n"), 2, "unknown handler NoSuchHandler"},
        {Body("  OnMouseDown = ButtonClick\n"), 2, "does not fit Form1.OnMouseDown"},
        {Body("  Left 12\n"), 2, "'=' expected but number 12 found"},
        {Body("  Left = 'twelve'\n"), 2, "integer value for Left expected"},
        {Body("  Enabled = Yes\n"), 2, "True or False for Enabled expected"},
        {Body("  Layout = lyBottom\n"), 2, "'lyBottom' is not a value of Layout"},
        {Body("  Cursor = crPointer\n"), 2, "'crPointer' is not a value of Cursor"},
        {Body("  BorderIcons = [biSystemMenu, biClose]\n"), 2, "'biClose' is not an element"},
        {Body("  BorderIcons = [biSystemMenu biHelp]\n"), 2, "',' expected"},
        {Body("  Left = 99999999999\n"), 2, "out of range for Left"},
        {Body("  Left = 999999999999999999999\n"), 2,
         "number 999999999999999999999 is out of range"},
        {Body("  Caption = 'open\n"), 2, "unterminated string"},
        {Body("  Caption = 'a' +\n  Left = 1\n"), 3, "string after '+' expected"},
        {Body("  Caption = #300\n"), 2, "character code above 255"},
        {Body("  Left = 1 ~\n"), 2, "unexpected character '~'"},
        {"object Form1: TTestForm\n  Mask2 = {\n    0000\n", 2, "binary block is not closed"},
        {Body("  Mask2 = {\n    0400000001\n    02}\n"), 2,
         "Error reading Form1.Mask2: Stream read error: 4 bytes wanted, 2 left"},
        {Body("  Mask2 = {\n    00000000FF}\n"), 2, "1 of 5 bytes of the block were not read"},
        {Body("  Mask2 = {\n    000}\n"), 3, "odd number of hexadecimal digits"},
        {Body("  Mask2 = {\n    00\n    0G}\n"), 4, "invalid character 'G' in binary block"},
        {Body("  Mask2 = 12\n"), 2, "binary block for Form1.Mask2 expected"},
        {Body("  object Timer1: TTestTimer\n    Extra = 'x'\n  end\n"), 3,
         "integer value for Timer1.Extra expected"},
        {Body("  object Timer1: TTestTimer\n    Interval = 65536\n  end\n"), 3,
         "65536 is out of range for Interval (0 to 65535)"},
        {Body("  object Timer1: TTestTimer\n    Buddy = Timer9\n  end\n"), 3,
         "unknown component Timer9 for Timer1.Buddy"},
        {Body(button + "  end\n  object Timer1: TTestTimer\n    Buddy = Button1\n  end\n"), 5,
         "Button1 is a TTestControl; Timer1.Buddy takes a TTestTimer"},
        {Body("  object Button1: TTestTimer\n  end\n"), 2,
         "Field Button1 of TTestForm cannot hold a TTestTimer"},
        {Body(button + "  end\n" + button + "  end\n"), 4,
         "A component named Button1 already exists"},
        {Body("  object Timer1: TTestTimer\n    object B: TTestControl\n    end\n  end\n"), 3,
         "B can only be placed on a panel"},
        {Body(button + "  end\n  Left = 1\n"), 4, "property Left after a nested object"},
        {Body("  object : TTestControl\n  end\n"), 2, "component name expected"},
        {"object Form1: TTestForm\n  object Button1: TTestControl\n  end\n", 4, "'end' expected"},
        {"object Form1: TTestForm\nend\nend\n", 3, "end of text expected"},
        {Body("  inherited Button1: TTestControl\n  end\n"), 2,
         "'inherited' blocks are not supported"},
    };
    for (const Case& c : cases) {
        const ReadResult r = ReadError(c.text);
        EXPECT_EQ(r.line, c.line) << c.text << "\n" << r.message;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.text << "\ngave: " << r.message;
        EXPECT_EQ(r.message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << r.message;
    }
}

TEST(FormErrors, NestingHasALimit) {
    RegisterTestClasses();
    std::string text = "object Form1: TTestForm\n";
    for (int i = 0; i < 100; ++i)
        text += "object TTestPanel\n";
    const ReadResult r = ReadError(text);
    EXPECT_EQ(r.line, 66);
    EXPECT_NE(r.message.find("nested too deeply"), std::string::npos) << r.message;
}

TEST(FormErrors, ValuesTheTextCannotHoldAreWriteErrors) {
    TTestForm form(nullptr);
    auto* button = fw::New<TTestControl>(form);
    button->SetName("Button1");
    button->SetParentComponent(&form);

    TTestForm other(nullptr);
    button->OnClick = fw::Bind<&TTestForm::ButtonClick>(other); // a handler of another object
    EXPECT_THROW(fw::WriteComponent(form), fw::EWriteError);
    button->OnClick = fw::Bind<&TTestForm::ButtonClick>(form);
    EXPECT_NO_THROW(fw::WriteComponent(form));

    button->Layout = static_cast<TLayout>(7);
    EXPECT_THROW(fw::WriteComponent(form), fw::EWriteError);
    button->Layout = lyLeft;

    button->Ratio = std::numeric_limits<double>::infinity();
    EXPECT_THROW(fw::WriteComponent(form), fw::EWriteError);
    button->Ratio = 1.5;

    auto* timer = fw::New<TTestTimer>(form);
    TTestTimer stranger(nullptr);
    stranger.SetName("Stranger");
    timer->SetBuddy(&stranger);
    try {
        fw::WriteComponent(form);
        ADD_FAILURE() << "a reference outside the root was written";
    } catch (const fw::EWriteError& e) {
        EXPECT_NE(std::string(e.what()).find("TTestTimer.Buddy refers to a component"),
                  std::string::npos)
            << e.what();
    }
}
