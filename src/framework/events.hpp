// Events: a reference to a handler method bound to an object (code and data), as the
// components raise them. An event is assigned when its code is set; two events are equal
// when they call the same handler on the same object.
//
//   TNotifyEvent OnClick = fw::Bind<&TForm1::OffButtonClick>(form);
//   if (OnClick.Assigned()) OnClick(this);
#pragma once

#include "framework/exceptions.hpp"
#include "framework/rtti_set.hpp"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace fw {

class TObject;

// The type-erased view of any event: lets code save, restore and compare events of
// different types (the application event hub keeps the application's handlers this way).
using TCodePointer = void (*)();
struct TMethod {
    TCodePointer Code = nullptr;
    TObject* Data = nullptr;

    bool Assigned() const { return Code != nullptr; }
    friend bool operator==(const TMethod&, const TMethod&) = default;
};

// A unique address per handler signature, so that the form reader can refuse to bind a
// handler to an event of another type.
template <class Sig> const void* EventTypeId() noexcept {
    static constexpr char id = 0;
    return &id;
}

template <class Sig> class TEvent;

template <class R, class... A> class TEvent<R(A...)> {
public:
    using Signature = R(A...);
    using Thunk = R (*)(TObject*, A...);

    TEvent() = default;
    TEvent(std::nullptr_t) {}
    TEvent(Thunk code, TObject* data) : Code(code), Data(data) {}

    bool Assigned() const { return Code != nullptr; }
    explicit operator bool() const { return Assigned(); }

    R operator()(A... args) const {
        if (!Code) throw EInvalidOperation("call of an unassigned event");
        return Code(Data, std::forward<A>(args)...);
    }

    TMethod Method() const { return {reinterpret_cast<TCodePointer>(Code), Data}; }
    // Unchecked: the method must come from an event of this very type.
    static TEvent FromMethod(const TMethod& m) {
        return TEvent(reinterpret_cast<Thunk>(m.Code), m.Data);
    }
    static const void* TypeId() noexcept { return EventTypeId<Signature>(); }

    friend bool operator==(const TEvent&, const TEvent&) = default;

    Thunk Code = nullptr;
    TObject* Data = nullptr;
};

namespace detail {

template <class M> struct MemberFunction;
template <class C, class R, class... A> struct MemberFunction<R (C::*)(A...)> {
    using Class = C;
    using Event = TEvent<R(A...)>;
    // Hot with the rest of the dispatching: each event goes through one, the idle turn's
    // too, and a thunk left where its handler's unit put it is a page of code of its own.
    template <auto M> [[gnu::hot]] static R Thunk(TObject* self, A... args) {
        return (static_cast<C*>(self)->*M)(std::forward<A>(args)...);
    }
};
template <class C, class R, class... A>
struct MemberFunction<R (C::*)(A...) noexcept> : MemberFunction<R (C::*)(A...)> {};

} // namespace detail

// The event type that a handler method fits: HandlerEvent<&TForm1::OffButtonClick> is
// TNotifyEvent.
template <auto M> using HandlerEvent = typename detail::MemberFunction<decltype(M)>::Event;

// An event calling the method M on obj. The same method on the same object always gives
// equal events.
template <auto M> HandlerEvent<M> Bind(typename detail::MemberFunction<decltype(M)>::Class* obj) {
    using Traits = detail::MemberFunction<decltype(M)>;
    return HandlerEvent<M>(&Traits::template Thunk<M>, obj);
}
template <auto M> HandlerEvent<M> Bind(typename detail::MemberFunction<decltype(M)>::Class& obj) {
    return Bind<M>(&obj);
}

// The event types shared by the components.
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = TEvent<void(TObject* Sender)>;
using TMouseEvent =
    TEvent<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = TEvent<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = TEvent<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TCloseEvent = TEvent<void(TObject* Sender, TCloseAction& Action)>;

} // namespace fw
