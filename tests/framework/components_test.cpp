// The component model: ownership and destruction order, names and published fields,
// notifications, design state, assignment, events, published metadata and streams.
#include "form_test_classes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ftest;

namespace {

// Records its destruction and the notices it gets.
class TProbe : public fw::TComponent {
    FW_CLASS(TProbe, fw::TComponent)
public:
    explicit TProbe(fw::TComponent* owner) : fw::TComponent(owner) {}
    ~TProbe() override {
        Log().push_back("destroy " + Name() +
                        (ComponentState().contains(fw::csDestroying) ? " destroying" : ""));
    }
    void Notification(fw::TComponent* c, fw::TOperation op) override {
        fw::TComponent::Notification(c, op);
        Log().push_back(Name() + (op == fw::opInsert ? " +" : " -") + c->Name());
    }
};

TProbe* Probe(fw::TComponent& owner, const char* name) {
    auto* p = fw::New<TProbe>(owner);
    p->SetName(name);
    return p;
}

struct ComponentTest : ::testing::Test {
    ComponentTest() { Log().clear(); }
};

} // namespace

TEST_F(ComponentTest, OwnerFreesWhatItOwnsNewestFirstAllMarkedDestroyingBefore) {
    auto owner = std::make_unique<TProbe>(nullptr);
    owner->SetName("Owner");
    TProbe* a = Probe(*owner, "A");
    Probe(*a, "A1");
    Probe(*owner, "B");
    Log().clear();
    owner.reset();
    EXPECT_EQ(Log(), (std::vector<std::string>{"destroy Owner", "destroy B destroying",
                                               "destroy A destroying", "destroy A1 destroying"}));
}

TEST_F(ComponentTest, DeletingAnOwnedComponentRemovesItFromItsOwnerAndTellsTheOthers) {
    TProbe owner(nullptr);
    owner.SetName("Owner");
    TProbe* a = Probe(owner, "A");
    TProbe* b = Probe(owner, "B");
    // Insert notices reach the owner and its components; the new one is still being built.
    EXPECT_EQ(Log(), (std::vector<std::string>{"Owner +", "A +", "Owner +"}));
    Log().clear();
    delete a;
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), b);
    EXPECT_EQ(b->ComponentIndex(), 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"destroy A", "B -A", "Owner -A"}));
    EXPECT_THROW(owner.Components(1), fw::EListError);
}

TEST_F(ComponentTest, OwnershipMovesThroughInsertAndRemove) {
    TProbe first(nullptr), second(nullptr);
    TProbe* a = Probe(first, "A");
    std::unique_ptr<fw::TComponent> taken = first.RemoveComponent(*a);
    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(a->Owner(), nullptr);
    Probe(second, "A");
    EXPECT_THROW(second.InsertComponent(std::move(taken)), fw::EComponentError)
        << "the name is taken there";
    ASSERT_EQ(taken.get(), a) << "a failed insert leaves the component with the caller";
    taken->SetName("A2");
    second.InsertComponent(std::move(taken));
    EXPECT_EQ(second.ComponentCount(), 2);
    EXPECT_EQ(a->Owner(), &second);
}

TEST_F(ComponentTest, NamesAreIdentifiersUniqueInTheOwnerRegardlessOfCase) {
    TProbe owner(nullptr);
    TProbe* a = Probe(owner, "Button1");
    TProbe* b = fw::New<TProbe>(owner);
    EXPECT_THROW(b->SetName("button1"), fw::EComponentError);
    try {
        b->SetName("BUTTON1");
    } catch (const fw::EComponentError& e) {
        EXPECT_STREQ(e.what(), "A component named BUTTON1 already exists");
    }
    EXPECT_THROW(b->SetName("1st"), fw::EComponentError);
    EXPECT_THROW(b->SetName("a b"), fw::EComponentError);
    EXPECT_EQ(b->Name(), "");
    a->SetName("BUTTON1"); // renaming itself in another case is fine
    EXPECT_EQ(owner.FindComponent("button1"), a);
    EXPECT_EQ(owner.FindComponent(""), nullptr);
    b->SetName("_b2");
    EXPECT_EQ(owner.FindComponent("_B2"), b);
}

TEST_F(ComponentTest, PublishedFieldsFollowNamesAndDestruction) {
    TTestForm form(nullptr);
    auto* button = fw::New<TTestControl>(form);
    EXPECT_EQ(form.Button1, nullptr);
    button->SetName("Button1");
    EXPECT_EQ(form.Button1, button);
    button->SetName("Button2");
    EXPECT_EQ(form.Button1, nullptr);
    button->SetName("button1");
    EXPECT_EQ(form.Button1, button);
    delete button;
    EXPECT_EQ(form.Button1, nullptr);

    auto* timer = fw::New<TTestTimer>(form);
    EXPECT_THROW(timer->SetName("Button1"), fw::EComponentError) << "field of another class";
    EXPECT_EQ(form.Button1, nullptr);
    EXPECT_EQ(timer->Name(), "");
    timer->SetName("Timer1");
    EXPECT_EQ(form.Timer1, timer);
}

TEST_F(ComponentTest, FreeNoticesReachComponentsOfOtherOwnersOnceAndCanBeWithdrawn) {
    TTestForm form1(nullptr), form2(nullptr);
    auto* near = fw::New<TTestTimer>(form1);
    auto* far = fw::New<TTestTimer>(form2);
    auto* sibling = fw::New<TTestTimer>(form1);
    near->SetBuddy(far);
    sibling->SetBuddy(far);
    delete far;
    EXPECT_EQ(near->GetBuddy(), nullptr);
    EXPECT_EQ(sibling->GetBuddy(), nullptr);

    auto* other = fw::New<TTestTimer>(form2);
    near->SetBuddy(other);
    other->RemoveFreeNotification(near);
    delete other; // near is not told: its pointer dangles, as asked for
    EXPECT_NE(near->GetBuddy(), nullptr);
    near->SetBuddy(nullptr);

    // The one notified goes first: the link disappears with it.
    auto* watched = fw::New<TTestTimer>(form2);
    near->SetBuddy(watched);
    delete near;
    delete watched; // would touch freed memory if the link had survived
}

TEST_F(ComponentTest, SiblingsHearOfAWatchedSiblingWhenItOrTheOwnerGoes) {
    TTestForm form(nullptr);
    auto* watcher = fw::New<TTestTimer>(form);
    auto* watched = fw::New<TTestTimer>(form);
    watcher->SetBuddy(watched);
    delete watched;
    EXPECT_EQ(watcher->GetBuddy(), nullptr);

    // While the owner goes, only a component that asked for notices is announced.
    auto owner = std::make_unique<fw::TComponent>(nullptr);
    Probe(*owner, "Watcher");
    Probe(*owner, "Quiet");
    TProbe* loud = Probe(*owner, "Loud");
    loud->FreeNotification(owner->Components(0));
    Log().clear();
    owner.reset();
    EXPECT_EQ(Log(),
              (std::vector<std::string>{"Quiet -Loud", "Watcher -Loud", "destroy Loud destroying",
                                        "destroy Quiet destroying", "destroy Watcher destroying"}));
}

TEST_F(ComponentTest, DesignStateReachesOwnedComponentsAlsoBeforeTheirConstructorsRun) {
    TTestForm form(nullptr);
    auto* before = fw::New<TTestTimer>(form);
    const int designed = TTestTimer::DesignedInstances();
    form.SetDesigning(true);
    EXPECT_TRUE(before->ComponentState().contains(fw::csDesigning));
    fw::New<TTestTimer>(form);
    EXPECT_EQ(TTestTimer::DesignedInstances(), designed + 1);
    form.SetDesigning(false, false);
    EXPECT_FALSE(form.ComponentState().contains(fw::csDesigning));
    EXPECT_TRUE(before->ComponentState().contains(fw::csDesigning));
}

TEST_F(ComponentTest, LoadedEndsTheLoadingState) {
    TTestTimer timer(nullptr);
    timer.Loaded();
    EXPECT_EQ(timer.LoadedCount, 1);
    EXPECT_FALSE(timer.ComponentState().contains(fw::csLoading));
}

TEST(Persistent, AssignCopiesOrNamesSourceThenDestinationInTheError) {
    TTestFont a, b;
    a.Name = "Tahoma";
    a.Height = -20;
    b.Assign(a);
    EXPECT_EQ(b.Name, "Tahoma");
    EXPECT_EQ(b.Height, -20);

    TTestPicture picture;
    try {
        b.Assign(picture);
        ADD_FAILURE() << "a picture was assigned to a font";
    } catch (const fw::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TTestPicture to a TTestFont");
    }
    try {
        picture.Assign(a);
        ADD_FAILURE() << "a font was assigned to a picture";
    } catch (const fw::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TTestFont to a TTestPicture");
    }
}

TEST(Events, BindCallsTheHandlerOnItsObjectAndComparesByBoth) {
    TTestForm f1(nullptr), f2(nullptr);
    fw::TNotifyEvent e1 = fw::Bind<&TTestForm::ButtonClick>(f1);
    fw::TNotifyEvent e2 = fw::Bind<&TTestForm::ButtonClick>(&f2);
    fw::TNotifyEvent tick = fw::Bind<&TTestForm::TimerTick>(f1);
    EXPECT_TRUE(e1.Assigned());
    EXPECT_EQ(e1, fw::Bind<&TTestForm::ButtonClick>(f1));
    EXPECT_NE(e1, e2);
    EXPECT_NE(e1, tick);
    e2(&f1);
    EXPECT_TRUE(f1.Clicks.empty());
    EXPECT_EQ(f2.Clicks, (std::vector<fw::TObject*>{&f1}));

    // Saved as a method and restored into an event of the same type.
    const fw::TMethod saved = tick.Method();
    EXPECT_EQ(saved.Data, &f1);
    fw::TNotifyEvent restored = fw::TNotifyEvent::FromMethod(saved);
    restored(nullptr);
    EXPECT_EQ(f1.Ticks.size(), 1u);

    fw::TNotifyEvent none;
    EXPECT_FALSE(none.Assigned());
    EXPECT_FALSE(none.Method().Assigned());
    EXPECT_THROW(none(nullptr), fw::EInvalidOperation);
    EXPECT_NE(fw::TNotifyEvent::TypeId(), fw::TMouseEvent::TypeId());
    EXPECT_EQ(fw::HandlerEvent<&TTestForm::ButtonMouseDown>::TypeId(), fw::TMouseEvent::TypeId());

    // Arguments by reference come back to the caller.
    struct TCloser : fw::TObject {
        void Close(fw::TObject*, fw::TCloseAction& action) { action = fw::caFree; }
    } closer;
    fw::TCloseEvent on_close = fw::Bind<&TCloser::Close>(closer);
    fw::TCloseAction action = fw::caHide;
    on_close(nullptr, action);
    EXPECT_EQ(action, fw::caFree);
}

TEST(Events, ShiftStateIsASmallSet) {
    fw::TShiftState s{fw::ssShift, fw::ssDouble};
    EXPECT_TRUE(s.contains(fw::ssDouble));
    EXPECT_FALSE(s.contains(fw::ssCtrl));
    s.insert(fw::ssCtrl).erase(fw::ssShift);
    EXPECT_EQ(s, (fw::TShiftState{fw::ssCtrl, fw::ssDouble}));
    EXPECT_EQ((s - fw::TShiftState{fw::ssCtrl}).Bits(), 1u << fw::ssDouble);
    EXPECT_TRUE(fw::TShiftState{}.empty());
}

TEST(Rtti, PropertiesAreInheritedInDeclarationOrder) {
    const auto& props = TTestForm::StaticClassInfo().Properties();
    std::vector<std::string> names;
    for (const auto& p : props)
        names.push_back(p.Name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"Name", "Tag", "Left", "Top", "Width", "Height", "Caption",
                                        "Cursor", "Enabled", "Layout", "Ratio", "Font", "OnClick",
                                        "OnMouseDown", "BorderIcons", "Picture"}));
    EXPECT_EQ(TTestForm::StaticClassInfo().FindProperty("bordericons")->Kind(), fw::TPropKind::Set);
    EXPECT_EQ(TTestForm::StaticClassInfo().FindProperty("Cursor")->Kind(), fw::TPropKind::Integer);
    EXPECT_EQ(TTestForm::StaticClassInfo().FindProperty("Layout")->Kind(), fw::TPropKind::Enum);
    EXPECT_EQ(TTestForm::StaticClassInfo().FindProperty("Buddy"), nullptr);
}

namespace {
// Redeclares two inherited properties in lower case; they keep their places.
class TPinned : public TTestControl {
    FW_CLASS(TPinned, TTestControl)
public:
    explicit TPinned(fw::TComponent* owner) : TTestControl(owner) {}
    static void Describe(fw::TClassBuilder<TPinned>& c) {
        c.Prop("top", &TPinned::GetTop, &TPinned::PinTop);
        c.Prop("left", &TPinned::GetLeft, &TPinned::PinLeft);
        c.Prop("Pinned", &TPinned::Pinned, false);
    }
    void PinTop(int) { SetTop(0); }
    void PinLeft(int) { SetLeft(0); }
    bool Pinned = false;
};
} // namespace

TEST(Rtti, ARedeclaredPropertyTakesTheInheritedOnesPlace) {
    const auto& props = TPinned::StaticClassInfo().Properties();
    ASSERT_GE(props.size(), 4u);
    EXPECT_EQ(props[2].Name(), "left");
    EXPECT_EQ(props[3].Name(), "top");
    EXPECT_EQ(props.back().Name(), "Pinned");
    TPinned pinned(nullptr);
    TTestControl& as_control = pinned;
    TPinned::StaticClassInfo().FindProperty("Top")->SetOrd(pinned, 30);
    EXPECT_EQ(as_control.GetTop(), 0);
    TTestControl::StaticClassInfo().FindProperty("Top")->SetOrd(pinned, 30);
    EXPECT_EQ(as_control.GetTop(), 30);
}

TEST(Rtti, ValuesAreCheckedAndStoredOnlyWhenTheyDifferFromTheDefault) {
    TTestTimer timer(nullptr);
    const fw::TClassInfo& info = TTestTimer::StaticClassInfo();
    const fw::TPropInfo& interval = *info.FindProperty("Interval");
    EXPECT_EQ(interval.MinValue(), 0);
    EXPECT_EQ(interval.MaxValue(), 65535);
    EXPECT_FALSE(interval.IsStored(timer));
    interval.SetOrd(timer, 65535);
    EXPECT_TRUE(interval.IsStored(timer));
    EXPECT_THROW(interval.SetOrd(timer, -1), fw::EConvertError);
    EXPECT_EQ(timer.Interval, 65535);
    EXPECT_THROW(interval.SetStr(timer, "x"), fw::EInvalidOperation);
    EXPECT_FALSE(info.FindProperty("Name")->IsStored(timer)) << "the name is in the header";

    TTestControl control(nullptr);
    const fw::TPropInfo& layout = *TTestControl::StaticClassInfo().FindProperty("Layout");
    EXPECT_THROW(layout.SetOrd(control, 3), fw::EConvertError);
    layout.SetOrd(control, lyTop);
    EXPECT_EQ(control.Layout, lyTop);
    EXPECT_TRUE(TTestControl::StaticClassInfo().FindProperty("Left")->IsStored(control))
        << "no declared default: always stored";
    EXPECT_FALSE(TTestControl::StaticClassInfo().FindProperty("Caption")->IsStored(control));

    TTestPanel panel(nullptr);
    const fw::TPropInfo& icons = *TTestPanel::StaticClassInfo().FindProperty("BorderIcons");
    EXPECT_FALSE(icons.IsStored(panel));
    EXPECT_THROW(icons.SetOrd(panel, 1 << 5), fw::EConvertError);
    icons.SetOrd(panel, 0);
    EXPECT_TRUE(icons.IsStored(panel));
}

TEST(Rtti, ClassesAreFoundByNameInTheRegistryAndThroughPublishedFields) {
    EXPECT_EQ(fw::GetClass("TProbe"), nullptr);
    fw::RegisterClasses<TProbe>();
    fw::RegisterClasses<TProbe>(); // again: no harm
    EXPECT_EQ(fw::GetClass("tprobe"), &TProbe::StaticClassInfo());
    EXPECT_EQ(fw::GetClass("TComponent"), &fw::TComponent::StaticClassInfo()) << "ancestors too";
    EXPECT_THROW(fw::FindClass("TNothing"), fw::EClassNotFound);
    EXPECT_EQ(TTestForm::StaticClassInfo().FindFieldClass("TTestTimer"),
              &TTestTimer::StaticClassInfo());

    TProbe probe(nullptr);
    EXPECT_EQ(probe.ClassName(), "TProbe");
    EXPECT_TRUE(probe.InheritsFrom("tcomponent"));
    EXPECT_TRUE(probe.InheritsFrom(fw::TPersistent::StaticClassInfo()));
    EXPECT_FALSE(probe.InheritsFrom(TTestTimer::StaticClassInfo()));

    auto made = TTestTimer::StaticClassInfo().CreateComponent();
    EXPECT_TRUE(made->ClassNameIs("TTestTimer"));
    EXPECT_NE(TTestFont::StaticClassInfo().CreatePersistent(), nullptr);
    EXPECT_THROW(TTestFont::StaticClassInfo().CreateComponent(), fw::EInvalidOperation);
}

TEST(Streams, ReadsAreCheckedAgainstWhatIsLeft) {
    fw::TMemoryStream s;
    s.WriteUInt32(0x04030201);
    s.WriteInt32(-2);
    EXPECT_EQ(s.Size(), 8);
    EXPECT_EQ(static_cast<int>(s.Bytes()[0]), 1);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadUInt32(), 0x04030201u);
    EXPECT_EQ(s.ReadInt32(), -2);
    try {
        s.ReadUInt32();
        ADD_FAILURE() << "read past the end";
    } catch (const fw::EStreamError& e) {
        EXPECT_STREQ(e.what(), "Stream read error: 4 bytes wanted, 0 left");
    }
    s.SetPosition(6);
    EXPECT_THROW(s.ReadBytes(std::size_t{1} << 40), fw::EStreamError) << "no huge allocation";
    EXPECT_EQ(s.ReadBytes(2).size(), 2u);
    EXPECT_THROW(s.Seek(-9, fw::TSeekOrigin::End), fw::EStreamError);
}
