// Actions and the mouse object.
#include "framework/app_slots.hpp"

#include "framework/application.hpp"

namespace fw {

TMouse* Mouse = nullptr;

TPoint TMouse::CursorPos() const {
    TPoint p;
    GetCursorPos(&p);
    return p;
}

void TBasicAction::Describe(TClassBuilder<TBasicAction>& c) {
    c.Prop("OnExecute", &TBasicAction::OnExecute);
    c.Prop("OnUpdate", &TBasicAction::OnUpdate);
}

bool TBasicAction::Execute() {
    if (Application && Application->ExecuteAction(*this)) return true;
    if (!OnExecute.Assigned()) return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update() {
    if (Application && Application->UpdateAction(*this)) return true;
    if (!OnUpdate.Assigned()) return false;
    OnUpdate(this);
    return true;
}

} // namespace fw
