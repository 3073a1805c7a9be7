// Published metadata of the framework's classes: the class registry, published properties
// with their declared defaults, published methods (event handlers that a form description
// binds by name) and published fields (component members that the reader fills in).
//
// A class declares itself with FW_CLASS and describes what it publishes in a static
// Describe function, which the class info calls once, on first use:
//
//   class TCoolButton : public TGraphicControl {
//       FW_CLASS(TCoolButton, TGraphicControl)
//   public:
//       static void Describe(fw::TClassBuilder<TCoolButton>& c) {
//           c.Prop("AllowAllUp", &TCoolButton::AllowAllUp_, &TCoolButton::SetAllowAllUp, false);
//           c.Prop("OnClick", &TCoolButton::OnClick);
//       }
//   };
//
// Enumerations are published with their identifiers: FW_ENUM_IDENTS(TAlign, "alNone", ...).
//
// Each concern has its own header, all of them included here: rtti_types (identifiers,
// enumerations, property kinds), rtti_prop (property, method and field info), rtti_class
// (class info and the registry), rtti_builder (TClassBuilder and FW_CLASS).
#pragma once

#include "framework/exceptions.hpp"
#include "framework/rtti_builder.hpp"
#include "framework/rtti_class.hpp"
#include "framework/rtti_prop.hpp"
#include "framework/rtti_types.hpp"
