// Publishing a class: the builder that its Describe function fills the class info with,
// reaching properties through data members or getters and setters, and FW_CLASS.
#pragma once

#include "framework/events.hpp"
#include "framework/rtti_class.hpp"
#include "framework/rtti_set.hpp"
#include "framework/rtti_types.hpp"

#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace fw {

class TPersistent;
class TComponent;

namespace detail {

template <class T> struct IsTSet : std::false_type {};
template <class E> struct IsTSet<TSet<E>> : std::true_type {};
template <class T> struct IsTEvent : std::false_type {};
template <class S> struct IsTEvent<TEvent<S>> : std::true_type {};
template <class T> struct IsUniquePtr : std::false_type {};
template <class U> struct IsUniquePtr<std::unique_ptr<U>> : std::true_type {};

template <class E>
concept HasEnumIdents = std::is_enum_v<E> && requires(E e) {
    { EnumIdents(e) } -> std::same_as<const TEnumInfo&>;
};

template <class T> constexpr bool IsObjectPointer() {
    if constexpr (std::is_pointer_v<T>) {
        using U = std::remove_cv_t<std::remove_pointer_t<T>>;
        return std::is_class_v<U> && std::is_base_of_v<TPersistent, U> &&
               !std::is_base_of_v<TComponent, U>;
    } else {
        return false;
    }
}
template <class T> constexpr bool IsComponentPointer() {
    if constexpr (std::is_pointer_v<T>) {
        using U = std::remove_cv_t<std::remove_pointer_t<T>>;
        return std::is_class_v<U> && std::is_base_of_v<TComponent, U>;
    } else {
        return false;
    }
}
template <class T> constexpr bool IsNestedObject() {
    if constexpr (IsUniquePtr<T>::value) {
        return std::is_base_of_v<TPersistent, typename T::element_type> &&
               !std::is_base_of_v<TComponent, typename T::element_type>;
    } else if constexpr (std::is_class_v<T>) {
        return std::is_base_of_v<TPersistent, T> && !std::is_base_of_v<TComponent, T>;
    } else {
        return IsObjectPointer<T>();
    }
}

template <class T> TPersistent* ObjectAddress(const T& value) {
    if constexpr (IsUniquePtr<T>::value) {
        return value.get();
    } else if constexpr (std::is_pointer_v<T>) {
        return const_cast<std::remove_cv_t<std::remove_pointer_t<T>>*>(value);
    } else {
        return const_cast<T*>(&value);
    }
}

template <class M>
concept DataMember = std::is_member_object_pointer_v<M>;
template <class M>
concept MethodPointer = std::is_member_function_pointer_v<M>;

} // namespace detail

// Fills a class info from a class's Describe function.
template <class C> class TClassBuilder {
public:
    explicit TClassBuilder(TClassInfo& info) : info_(info) {}

    // A published property held in a data member, with or without a declared default.
    template <detail::DataMember M> TPropInfo& Prop(std::string_view name, M member) {
        using T = std::remove_cvref_t<decltype(std::declval<C&>().*member)>;
        auto get = [member](const C& c) -> const T& { return c.*member; };
        if constexpr (detail::IsNestedObject<T>()) {
            return AddObject<T>(name, get);
        } else {
            return Add<T>(name, get, [member](C& c, const T& v) { c.*member = v; });
        }
    }
    template <detail::DataMember M, class D>
    TPropInfo& Prop(std::string_view name, M member, const D& default_value) {
        using T = std::remove_cvref_t<decltype(std::declval<C&>().*member)>;
        TPropInfo& p = Add<T>(
            name, [member](const C& c) -> const T& { return c.*member; },
            [member](C& c, const T& v) { c.*member = v; });
        SetDefault<T>(p, default_value);
        return p;
    }
    // A published property read by a getter and written by a setter.
    template <detail::MethodPointer G, detail::MethodPointer S>
    TPropInfo& Prop(std::string_view name, G getter, S setter) {
        using T = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
        if constexpr (detail::IsNestedObject<T>()) {
            // A description sets the object's own properties in place; the setter is the
            // class's business (it typically assigns a copy), unless it takes the object.
            TPropInfo& p = Prop(name, getter);
            using U = std::remove_pointer_t<T>;
            if constexpr (std::is_invocable_v<S, C&, std::unique_ptr<U>>) {
                p.set_object_ = [setter](TPersistent& o, std::unique_ptr<TPersistent> v) {
                    if (v && !dynamic_cast<U*>(v.get())) return false;
                    std::invoke(setter, static_cast<C&>(o),
                                std::unique_ptr<U>(static_cast<U*>(v.release())));
                    return true;
                };
            }
            return p;
        } else {
            return Add<T>(
                name, [getter](const C& c) -> T { return std::invoke(getter, c); },
                [setter](C& c, const T& v) { std::invoke(setter, c, v); });
        }
    }
    template <detail::MethodPointer G, detail::MethodPointer S, class D>
    TPropInfo& Prop(std::string_view name, G getter, S setter, const D& default_value) {
        TPropInfo& p = Prop(name, getter, setter);
        SetDefault<std::remove_cvref_t<std::invoke_result_t<G, const C&>>>(p, default_value);
        return p;
    }
    // A nested persistent object reached through a getter (Font, Picture): its own
    // properties are stored under dotted names (Font.Height).
    template <detail::MethodPointer G> TPropInfo& Prop(std::string_view name, G getter) {
        using T = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
        static_assert(detail::IsNestedObject<T>(), "a property without setter must be an object");
        return AddObject<T>(
            name, [getter](const C& c) -> decltype(auto) { return std::invoke(getter, c); });
    }

    // A published method that form descriptions can bind to events of its type.
    template <auto M> void Method(std::string_view name) {
        using Traits = detail::MemberFunction<decltype(M)>;
        static_assert(std::is_base_of_v<typename Traits::Class, C>, "a method of another class");
        using Event = typename Traits::Event;
        const Event bound = Bind<M>(static_cast<typename Traits::Class*>(nullptr));
        info_.methods_.push_back({std::string(name), bound.Method().Code, Event::TypeId()});
    }

    // A published field: the reader stores the owned component of that name into it.
    template <class F, class B>
    requires std::is_base_of_v<B, C>
    void Field(std::string_view name, F* B::*member) {
        static_assert(std::is_base_of_v<TComponent, F>, "published fields hold components");
        static_assert(std::is_same_v<typename F::ThisClass, F>, "field class lacks FW_CLASS");
        TFieldInfo f;
        f.Name = std::string(name);
        f.Class = &F::StaticClassInfo;
        f.Accepts = [](TComponent& value) { return dynamic_cast<F*>(&value) != nullptr; };
        f.Set = [member](TComponent& owner, TComponent* value) {
            F* typed = value ? dynamic_cast<F*>(value) : nullptr;
            if (value && !typed) return false;
            static_cast<C&>(owner).*member = typed;
            return true;
        };
        info_.fields_.push_back(std::move(f));
    }

private:
    template <class T, class Get, class Set>
    TPropInfo& Add(std::string_view name, Get get, Set set) {
        TPropInfo p;
        p.name_ = std::string(name);
        auto self = [](const TPersistent& o) -> const C& { return static_cast<const C&>(o); };
        auto mut = [](TPersistent& o) -> C& { return static_cast<C&>(o); };
        if constexpr (std::is_same_v<T, bool>) {
            p.kind_ = TPropKind::Boolean;
            p.min_ = 0;
            p.max_ = 1;
            p.get_ord_ = [=](const TPersistent& o) -> std::int64_t { return get(self(o)); };
            p.set_ord_ = [=](TPersistent& o, std::int64_t v) { set(mut(o), v != 0); };
        } else if constexpr (std::is_integral_v<T>) {
            p.kind_ = TPropKind::Integer;
            p.min_ = static_cast<std::int64_t>(std::numeric_limits<T>::min());
            p.max_ = std::numeric_limits<T>::max() > std::numeric_limits<std::int64_t>::max()
                         ? std::numeric_limits<std::int64_t>::max()
                         : static_cast<std::int64_t>(std::numeric_limits<T>::max());
            p.get_ord_ = [=](const TPersistent& o) {
                return static_cast<std::int64_t>(get(self(o)));
            };
            p.set_ord_ = [=](TPersistent& o, std::int64_t v) { set(mut(o), static_cast<T>(v)); };
        } else if constexpr (std::is_enum_v<T>) {
            static_assert(detail::HasEnumIdents<T>, "publish the enumeration's identifiers");
            using U = std::underlying_type_t<T>;
            const TEnumInfo& idents = EnumIdents(T{});
            p.kind_ = idents.IsIntegerLike() ? TPropKind::Integer : TPropKind::Enum;
            p.idents_ = &idents;
            p.min_ = static_cast<std::int64_t>(std::numeric_limits<U>::min());
            p.max_ = std::numeric_limits<U>::max() > std::numeric_limits<std::int64_t>::max()
                         ? std::numeric_limits<std::int64_t>::max()
                         : static_cast<std::int64_t>(std::numeric_limits<U>::max());
            p.get_ord_ = [=](const TPersistent& o) {
                return static_cast<std::int64_t>(get(self(o)));
            };
            p.set_ord_ = [=](TPersistent& o, std::int64_t v) {
                set(mut(o), static_cast<T>(static_cast<U>(v)));
            };
        } else if constexpr (detail::IsTSet<T>::value) {
            using E = typename T::Element;
            static_assert(detail::HasEnumIdents<E>, "publish the set element's identifiers");
            p.kind_ = TPropKind::Set;
            p.idents_ = &EnumIdents(E{});
            p.get_ord_ = [=](const TPersistent& o) {
                return static_cast<std::int64_t>(get(self(o)).Bits());
            };
            p.set_ord_ = [=](TPersistent& o, std::int64_t v) {
                set(mut(o), T::FromBits(static_cast<std::uint64_t>(v)));
            };
        } else if constexpr (std::is_same_v<T, std::string>) {
            p.kind_ = TPropKind::String;
            p.get_str_ = [=](const TPersistent& o) -> std::string { return get(self(o)); };
            p.set_str_ = [=](TPersistent& o, const std::string& v) { set(mut(o), v); };
        } else if constexpr (std::is_floating_point_v<T>) {
            p.kind_ = TPropKind::Float;
            p.get_float_ = [=](const TPersistent& o) -> double { return get(self(o)); };
            p.set_float_ = [=](TPersistent& o, double v) { set(mut(o), static_cast<T>(v)); };
        } else if constexpr (detail::IsTEvent<T>::value) {
            p.kind_ = TPropKind::Event;
            p.event_type_ = T::TypeId();
            p.get_method_ = [=](const TPersistent& o) { return get(self(o)).Method(); };
            p.set_method_ = [=](TPersistent& o, const TMethod& m) {
                set(mut(o), T::FromMethod(m));
            };
        } else if constexpr (detail::IsComponentPointer<T>()) {
            using U = std::remove_cv_t<std::remove_pointer_t<T>>;
            static_assert(std::is_same_v<typename U::ThisClass, U>, "class lacks FW_CLASS");
            p.kind_ = TPropKind::Component;
            p.ref_class_ = &U::StaticClassInfo;
            p.get_component_ = [=](const TPersistent& o) -> TComponent* { return get(self(o)); };
            p.set_component_ = [=](TPersistent& o, TComponent* v) {
                U* typed = v ? dynamic_cast<U*>(v) : nullptr;
                if (v && !typed) return false;
                set(mut(o), typed);
                return true;
            };
        } else {
            static_assert(sizeof(T) == 0, "this type cannot be published");
        }
        return Insert(std::move(p));
    }

    template <class T, class Get> TPropInfo& AddObject(std::string_view name, Get get) {
        TPropInfo p;
        p.name_ = std::string(name);
        p.kind_ = TPropKind::Object;
        p.get_object_ = [get](const TPersistent& o) -> TPersistent* {
            return detail::ObjectAddress<T>(get(static_cast<const C&>(o)));
        };
        return Insert(std::move(p));
    }

    template <class T, class D> void SetDefault(TPropInfo& p, const D& value) {
        p.has_default_ = true;
        if constexpr (detail::IsTSet<T>::value) {
            p.ord_default_ = static_cast<std::int64_t>(T(value).Bits());
        } else if constexpr (std::is_same_v<T, std::string>) {
            p.str_default_ = std::string(value);
        } else if constexpr (std::is_floating_point_v<T>) {
            p.float_default_ = static_cast<double>(value);
        } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
            p.ord_default_ = static_cast<std::int64_t>(value);
        } else {
            static_assert(sizeof(T) == 0, "this kind of property has no declared default");
        }
    }

    TPropInfo& Insert(TPropInfo p) {
        for (auto& existing : info_.props_) {
            if (SameIdent(existing.name_, p.name_)) {
                existing = std::move(p);
                return existing;
            }
        }
        info_.props_.push_back(std::move(p));
        return info_.props_.back();
    }

    TClassInfo& info_;
};

template <class C, class P> TClassInfo BuildClassInfo(std::string_view name) {
    static_assert(std::is_base_of_v<P, C>, "FW_CLASS names the wrong parent");
    const TClassInfo& parent = P::StaticClassInfo();
    TClassInfo info(std::string(name), &parent);
    info.props_ = parent.props_;
    info.is_component_ = std::is_base_of_v<TComponent, C>;
    if constexpr (!std::is_abstract_v<C>) {
        if constexpr (std::is_base_of_v<TComponent, C> && std::is_constructible_v<C, TComponent*>) {
            info.component_factory_ = [](TComponent* owner) -> TComponent* { return new C(owner); };
        } else if constexpr (!std::is_base_of_v<TComponent, C> &&
                             std::is_default_constructible_v<C>) {
            info.persistent_factory_ = []() -> std::unique_ptr<TPersistent> {
                return std::make_unique<C>();
            };
        }
    }
    TClassBuilder<C> builder(info);
    if constexpr (requires(TClassBuilder<C> & b) { C::Describe(b); }) C::Describe(builder);
    // Every class keeps its infos for the whole run: no room for growth.
    info.props_.shrink_to_fit();
    info.methods_.shrink_to_fit();
    info.fields_.shrink_to_fit();
    return info;
}

} // namespace fw

// Declares a published class: its registered name is the C++ class name. Put it first in
// the class; it leaves the class in a private section.
#define FW_CLASS(Class, Parent)                                                                    \
public:                                                                                            \
    using inherited = Parent;                                                                      \
    using ThisClass = Class;                                                                       \
    static const ::fw::TClassInfo& StaticClassInfo() {                                             \
        static const ::fw::TClassInfo info = ::fw::BuildClassInfo<Class, Parent>(#Class);          \
        return info;                                                                               \
    }                                                                                              \
    const ::fw::TClassInfo& ClassInfo() const override {                                           \
        return StaticClassInfo();                                                                  \
    }                                                                                              \
                                                                                                   \
private:
