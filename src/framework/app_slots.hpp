// What the application's and the screen's handler slots pass: the message record, the key
// message of a shortcut, hint details, actions; the hooks of the application's hidden
// window; the mouse object with its drag settings.
#pragma once

#include "framework/components.hpp"
#include "framework/events.hpp"
#include "framework/graphics/colors.hpp"
#include "framework/graphics/geometry.hpp"
#include "framework/messages.hpp"

#include <cstdint>
#include <string>

namespace fw {

class TControl;

// A queued message as the loop takes it.
struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::uint32_t time = 0; // milliseconds of the loop's clock
    TPoint pt;              // the pointer on the screen
};

// A key-down message offered as a shortcut.
struct TWMKey {
    UINT Msg = 0;
    std::uint16_t CharCode = 0; // the virtual key
    std::int32_t KeyData = 0;   // bit 29: Alt is down
    LRESULT Result = 0;
};

// What a hint about to be shown is made of; OnShowHint may change any of it.
struct THintInfo {
    TControl* HintControl = nullptr;
    TPoint HintPos;
    int HintMaxWidth = 0;
    TColor HintColor = clInfoBk;
    TRect CursorRect;
    TPoint CursorPos;
    int ReshowTimeout = 0;
    int HideTimeout = 0;
    std::string HintStr;
};

// An action: something to do that the application may handle first (OnActionExecute,
// OnActionUpdate), else its own OnExecute and OnUpdate.
class TBasicAction : public TComponent {
    FW_CLASS(TBasicAction, TComponent)
public:
    using TComponent::TComponent;
    static void Describe(TClassBuilder<TBasicAction>& c);
    // True when someone handled it.
    virtual bool Execute();
    virtual bool Update();

    TNotifyEvent OnExecute;
    TNotifyEvent OnUpdate;
};

using TIdleEvent = TEvent<void(TObject* Sender, bool& Done)>;
using THelpEvent = TEvent<bool(std::uint16_t Command, std::int32_t Data, bool& CallHelp)>;
using TMessageEvent = TEvent<void(MSG& Msg, bool& Handled)>;
using TShowHintEvent = TEvent<void(std::string& HintStr, bool& CanShow, THintInfo& HintInfo)>;
using TActionEvent = TEvent<void(TBasicAction* Action, bool& Handled)>;
using TShortCutEvent = TEvent<void(TWMKey& Msg, bool& Handled)>;

// A hook of the application's hidden window: offered every message before the window
// handles it; true consumes the message.
using TWindowHook = TEvent<bool(TMessage& Message)>;

enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
FW_ENUM_IDENTS(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign",
               "bdRightToLeftReadingOnly")

// The mouse: where it is, and how far it must move with a button held before a drag starts.
class TMouse {
public:
    TPoint CursorPos() const;
    bool DragImmediate = true;
    int DragThreshold = 5;
};

// Valid while a Runtime exists.
extern TMouse* Mouse;

} // namespace fw
