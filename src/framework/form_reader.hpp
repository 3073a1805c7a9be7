// Reading a form description into live components.
//
//   object Form1: TForm1
//     Caption = 'Form1'
//     OnCreate = FormCreate
//     object RecButton: TCoolButton
//       Glyph.Data = {
//         0A0B...}
//     end
//   end
//
// Every component of the description is created owned by the root and given its parent
// (the component whose block encloses it) before its properties are set, in the order they
// are stored. Events are bound to the root's published methods by name, component
// references are resolved once everything is read, and the published field of the root
// that carries a component's name is set to that component. Class names are looked up
// among the classes of the root's published fields, then in the registry.
//
// While reading, every component read is in csLoading and csReading. Once all are read,
// csReading ends and each gets its after-loading step (Loaded), the root first, then the
// others in the order they were read.
//
// Any error (syntax, unknown class, property, handler or component, a value of the wrong
// kind or out of range, a truncated or unread binary block, an exception from a setter)
// is an EReadError whose message starts with "line N: ". The components created by the
// failed read are destroyed again; values already set on the root stay set.
#pragma once

#include "framework/components.hpp"

#include <memory>
#include <string_view>

namespace fw {

// Reads a description into an existing root (a form constructed first). The class in the
// header must be the root's class; the root takes the header's name.
void ReadComponent(std::string_view text, TComponent& root);
// Creates the root from the registry and reads the description into it.
std::unique_ptr<TComponent> ReadNewComponent(std::string_view text);
TComponent& ReadNewComponent(std::string_view text, TComponent& owner);

} // namespace fw
