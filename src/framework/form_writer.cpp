// The form writer: components to description text.
#include "framework/form_writer.hpp"

#include <charconv>
#include <cmath>
#include <unordered_set>

namespace fw {
namespace detail {

namespace {

constexpr std::size_t kStringPiece = 64; // bytes of a string per line when it is split
constexpr std::size_t kBinaryLine = 32;  // bytes of a binary block per line
constexpr int kMaxObjectDepth = 16;      // nested objects (Font.Name): guards against cycles

std::string Quote(std::string_view s) {
    if (s.empty()) return "''";
    std::string out;
    bool quoted = false;
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (u >= 32 && u < 127) {
            if (!quoted) out += '\'';
            quoted = true;
            out += ch;
            if (ch == '\'') out += '\'';
        } else {
            if (quoted) out += '\'';
            quoted = false;
            out += '#';
            out += std::to_string(u);
        }
    }
    if (quoted) out += '\'';
    return out;
}

std::string FormatFloat(double v, const std::string& path) {
    if (!std::isfinite(v)) throw EWriteError(path + ": a value that is not a finite number");
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, end);
    // Shortest form that reads back exactly; keep it recognisable as a floating value.
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

} // namespace

class FormWriter final : public TFiler, private TWriter {
public:
    explicit FormWriter(const TComponent& root) : root_(const_cast<TComponent&>(root)) {}

    std::string Write() {
        WriteObject(root_, 0);
        return std::move(out_);
    }

    // TFiler
    void DefineProperty(std::string_view name, const TReaderProc&, const TWriterProc& write,
                        bool has_data) override;
    void DefineBinaryProperty(std::string_view name, const TStreamProc&, const TStreamProc& write,
                              bool has_data) override;
    const TPersistent* Ancestor() override { return ancestor_ ? ancestor_->Get(*this) : nullptr; }
    bool IsReading() const override { return false; }
    TComponent& Root() const override { return root_; }

private:
    // The default instance that the object being written is compared against, made when
    // a DefineProperties asks for it: a new component of the same class for a component,
    // the same property of the parent's ancestor for a nested object.
    struct AncestorNode {
        const AncestorNode* parent = nullptr;
        const TPropInfo* prop = nullptr;
        const TClassInfo* component_class = nullptr;
        mutable bool resolved = false;
        mutable const TPersistent* value = nullptr;

        const TPersistent* Get(FormWriter& w) const {
            if (!resolved) {
                resolved = true;
                if (component_class)
                    value = w.MakeDefaultComponent(*component_class);
                else if (const TPersistent* p = parent->Get(w))
                    value = prop->GetObject(*p);
            }
            return value;
        }
    };

    // TWriter: the one value of a defined property.
    void WriteInteger(std::int64_t value) override { Value(std::to_string(value)); }
    void WriteBoolean(bool value) override { Value(value ? "True" : "False"); }
    void WriteString(std::string_view value) override;
    void WriteFloat(double value) override { Value(FormatFloat(value, value_name_)); }
    void WriteIdent(std::string_view ident) override;

    const TPersistent* MakeDefaultComponent(const TClassInfo& info);
    void WriteObject(TComponent& component, int level);
    void WriteProperties(TPersistent& object, const std::string& prefix, int level,
                         const AncestorNode& ancestor, int depth);
    void WriteProperty(TPersistent& object, const TPropInfo& prop, const std::string& name,
                       int level);
    void Line(int level, std::string_view text);
    void StringLines(int level, const std::string& name, std::string_view value);
    void BeginValue(const std::string& name);
    void Value(const std::string& text);
    std::string Path(const std::string& name) const { return component_path_ + "." + name; }

    TComponent& root_;
    std::string out_;
    std::unordered_set<const TComponent*> written_;
    std::vector<std::unique_ptr<TComponent>> default_owners_;

    // Where defined properties of the object being written go.
    int level_ = 0;
    std::string prefix_;
    std::string component_path_;
    const AncestorNode* ancestor_ = nullptr;
    std::string value_name_;
    int values_written_ = 0;
};

const TPersistent* FormWriter::MakeDefaultComponent(const TClassInfo& info) {
    if (!info.IsComponentClass() || !info.CanCreate()) return nullptr;
    // Made in design mode from the start, like a component dropped on a form designer, so
    // that it stays inert.
    auto owner = std::make_unique<TComponent>(nullptr);
    owner->SetDesigning(true);
    TComponent& made = info.CreateComponent(*owner);
    default_owners_.push_back(std::move(owner));
    return &made;
}

void FormWriter::Line(int level, std::string_view text) {
    out_.append(static_cast<std::size_t>(level) * 2, ' ');
    out_ += text;
    out_ += '\n';
}

void FormWriter::WriteObject(TComponent& component, int level) {
    if (!written_.insert(&component).second)
        throw EWriteError(std::string(component.ClassName()) + " " + component.Name() +
                          " is listed twice among the children");
    const std::string& name = component.Name();
    Line(level, "object " + (name.empty() ? std::string() : name + ": ") +
                    std::string(component.ClassName()));
    struct WritingState {
        TComponent& c;
        bool was;
        ~WritingState() {
            if (!was) c.Exclude(csWriting);
        }
    } writing{component, component.ComponentState().contains(csWriting)};
    component.Include(csWriting);

    component_path_ = name.empty() ? std::string(component.ClassName()) : name;
    AncestorNode ancestor;
    ancestor.component_class = &component.ClassInfo();
    WriteProperties(component, "", level + 1, ancestor, 0);

    std::vector<TComponent*> children;
    component.GetChildren([&](TComponent& child) { children.push_back(&child); }, &root_);
    for (TComponent* child : children)
        WriteObject(*child, level + 1);
    Line(level, "end");
}

void FormWriter::WriteProperties(TPersistent& object, const std::string& prefix, int level,
                                 const AncestorNode& ancestor, int depth) {
    if (depth > kMaxObjectDepth)
        throw EWriteError(component_path_ + "." + prefix + ": objects nested too deeply");
    for (const TPropInfo& prop : object.ClassInfo().Properties()) {
        if (!prop.IsStored(object)) continue;
        if (prop.Kind() == TPropKind::Object) {
            AncestorNode nested;
            nested.parent = &ancestor;
            nested.prop = &prop;
            WriteProperties(*prop.GetObject(object), prefix + prop.Name() + ".", level, nested,
                            depth + 1);
        } else {
            WriteProperty(object, prop, prefix + prop.Name(), level);
        }
    }
    level_ = level;
    prefix_ = prefix;
    ancestor_ = &ancestor;
    object.DefineProperties(*this);
    ancestor_ = nullptr;
}

void FormWriter::WriteProperty(TPersistent& object, const TPropInfo& prop, const std::string& name,
                               int level) {
    const std::int64_t ord = prop.Kind() == TPropKind::Integer ||
                                     prop.Kind() == TPropKind::Boolean ||
                                     prop.Kind() == TPropKind::Enum || prop.Kind() == TPropKind::Set
                                 ? prop.GetOrd(object)
                                 : 0;
    std::string value;
    switch (prop.Kind()) {
    case TPropKind::Integer: {
        const std::string* ident = prop.Idents() ? prop.Idents()->NameOf(ord) : nullptr;
        value = ident ? *ident : std::to_string(ord);
        break;
    }
    case TPropKind::Boolean:
        value = ord ? "True" : "False";
        break;
    case TPropKind::Enum: {
        const std::string* ident = prop.Idents()->NameOf(ord);
        if (!ident)
            throw EWriteError(Path(name) + ": value " + std::to_string(ord) + " has no identifier");
        value = *ident;
        break;
    }
    case TPropKind::Set: {
        value = "[";
        auto bits = static_cast<std::uint64_t>(ord);
        for (int bit = 0; bit < 64 && bits; ++bit) {
            if (!(bits & (std::uint64_t{1} << bit))) continue;
            const std::string* ident = prop.Idents()->NameOf(bit);
            if (!ident)
                throw EWriteError(Path(name) + ": set element " + std::to_string(bit) +
                                  " has no identifier");
            if (value.size() > 1) value += ", ";
            value += *ident;
            bits &= ~(std::uint64_t{1} << bit);
        }
        value += "]";
        break;
    }
    case TPropKind::String:
        StringLines(level, name, prop.GetStr(object));
        return;
    case TPropKind::Float:
        value = FormatFloat(prop.GetFloat(object), Path(name));
        break;
    case TPropKind::Event: {
        const TMethod m = prop.GetMethod(object);
        const TMethodInfo* info = root_.ClassInfo().FindMethod(m.Code);
        if (!info || m.Data != static_cast<TObject*>(&root_) || info->EventType != prop.EventType())
            throw EWriteError(Path(name) +
                              " is bound to a handler that is not a published method of " +
                              std::string(root_.ClassName()));
        value = info->Name;
        break;
    }
    case TPropKind::Component: {
        const TComponent* c = prop.GetComponent(object);
        if (c == &root_ && !root_.Name().empty()) {
            value = root_.Name();
        } else if (c->Owner() == &root_ && !c->Name().empty()) {
            value = c->Name();
        } else {
            throw EWriteError(Path(name) + " refers to a component that " +
                              std::string(root_.ClassName()) + " does not own by name");
        }
        break;
    }
    case TPropKind::Object:
        return;
    }
    Line(level, name + " = " + value);
}

void FormWriter::StringLines(int level, const std::string& name, std::string_view value) {
    if (value.size() <= kStringPiece) {
        Line(level, name + " = " + Quote(value));
        return;
    }
    Line(level, name + " =");
    for (std::size_t at = 0; at < value.size(); at += kStringPiece) {
        const bool last = at + kStringPiece >= value.size();
        Line(level + 1, Quote(value.substr(at, kStringPiece)) + (last ? "" : " +"));
    }
}

// --- defined properties ---------------------------------------------------------------

void FormWriter::BeginValue(const std::string& name) {
    value_name_ = name;
    values_written_ = 0;
}

void FormWriter::Value(const std::string& text) {
    if (values_written_++ > 0) throw EWriteError(Path(value_name_) + " takes one value");
    Line(level_, value_name_ + " = " + text);
}

void FormWriter::WriteString(std::string_view value) {
    if (values_written_++ > 0) throw EWriteError(Path(value_name_) + " takes one value");
    StringLines(level_, value_name_, value);
}

void FormWriter::WriteIdent(std::string_view ident) {
    if (!IsValidIdent(ident))
        throw EWriteError(Path(value_name_) + ": '" + std::string(ident) +
                          "' is not an identifier");
    Value(std::string(ident));
}

void FormWriter::DefineProperty(std::string_view name, const TReaderProc&, const TWriterProc& write,
                                bool has_data) {
    if (!has_data) return;
    if (!write) throw EWriteError(Path(prefix_ + std::string(name)) + " cannot be written");
    // Save where we are: the callback may define properties of nested objects itself.
    const int level = level_;
    const std::string prefix = prefix_;
    BeginValue(prefix + std::string(name));
    write(*this);
    if (values_written_ != 1) throw EWriteError(Path(value_name_) + ": no value was written");
    level_ = level;
    prefix_ = prefix;
}

void FormWriter::DefineBinaryProperty(std::string_view name, const TStreamProc&,
                                      const TStreamProc& write, bool has_data) {
    if (!has_data) return;
    const std::string full = prefix_ + std::string(name);
    if (!write) throw EWriteError(Path(full) + " cannot be written");
    TMemoryStream stream;
    write(stream);
    const auto bytes = stream.Bytes();
    if (bytes.empty()) {
        Line(level_, full + " = {}");
        return;
    }
    Line(level_, full + " = {");
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t at = 0; at < bytes.size(); at += kBinaryLine) {
        std::string hex;
        const std::size_t end = std::min(bytes.size(), at + kBinaryLine);
        for (std::size_t i = at; i < end; ++i) {
            const auto b = static_cast<unsigned>(bytes[i]);
            hex += kHex[b >> 4];
            hex += kHex[b & 15];
        }
        if (end == bytes.size()) hex += '}';
        Line(level_ + 1, hex);
    }
}

} // namespace detail

std::string WriteComponent(const TComponent& root) {
    return detail::FormWriter(root).Write();
}

} // namespace fw
