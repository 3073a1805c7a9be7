// The form reader: parses a description and applies it to components as it goes.
#include "framework/form_reader.hpp"

#include "framework/form_lexer.hpp"

#include <algorithm>
#include <functional>
#include <unordered_set>

namespace fw {
namespace detail {

namespace {

// Deeper nesting than any form has; keeps hostile input from exhausting the stack.
constexpr int kMaxDepth = 64;

} // namespace

class FormReader final : public TFiler, private TReader {
public:
    explicit FormReader(std::string_view text) : lex_(text) {}

    // Reads the description into root, or into a new root made by create (when root is
    // null), which the reader destroys again if the read fails; returns the root.
    TComponent& Read(TComponent* root, const std::function<TComponent*(const TClassInfo&)>& create);

    // TFiler
    void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc&,
                        bool) override;
    void DefineBinaryProperty(std::string_view name, const TStreamProc& read, const TStreamProc&,
                              bool) override;
    const TPersistent* Ancestor() override { return nullptr; }
    bool IsReading() const override { return true; }
    TComponent& Root() const override { return *root_; }

private:
    struct Fixup {
        TPersistent* object;
        const TPropInfo* prop;
        std::string target;
        std::string path;
        int line;
    };

    // TReader: the one value of a defined property.
    std::int64_t ReadInteger() override;
    bool ReadBoolean() override;
    std::string ReadString() override;
    double ReadFloat() override;
    std::string ReadIdent() override;

    const Token& Cur() const { return lex_.Current(); }
    [[noreturn]] void Fail(const std::string& what) const { lex_.Fail(what); }
    [[noreturn]] void Expected(const std::string& what) const {
        Fail(what + " expected but " + Cur().Describe() + " found");
    }
    void Expect(char symbol);
    std::string ExpectIdent(const std::string& what);
    void ReadHeader(std::string& name, std::string& class_name, int& line);
    void ReadBody(TComponent& component, int depth);
    void ReadChild(TComponent& parent, int depth);
    void ReadProperty(TComponent& component);
    void ReadValue(TPersistent& object, const TPropInfo& prop, const std::string& path);
    std::string ReadStringValue();
    std::int64_t ReadSetValue(const TPropInfo& prop, const std::string& path);
    void ResolveFixups();
    void RunLoaded();
    void Cleanup(TComponent* created_root);
    // Runs f, turning any failure but a read error into one that names the line.
    template <class F> void Guard(int line, const std::string& what, F&& f);
    void BeginValue(const std::string& path);

    FormLexer lex_;
    TComponent* root_ = nullptr;
    std::vector<TComponent*> created_;
    std::vector<std::pair<TComponent*, int>> loaded_;
    std::vector<Fixup> fixups_;

    // The defined property being looked for, and the state of its one value.
    std::string wanted_;
    bool matched_ = false;
    std::string value_path_;
    int values_read_ = 0;
};

template <class F> void FormReader::Guard(int line, const std::string& what, F&& f) {
    try {
        f();
    } catch (const EReadError&) {
        throw;
    } catch (const std::exception& e) {
        throw EReadError(line, what + ": " + e.what());
    }
}

void FormReader::Expect(char symbol) {
    if (!Cur().Is(symbol)) Expected(std::string("'") + symbol + "'");
    lex_.Next();
}

std::string FormReader::ExpectIdent(const std::string& what) {
    if (Cur().kind != TokenKind::Ident) Expected(what);
    std::string s = Cur().text;
    lex_.Next();
    return s;
}

void FormReader::ReadHeader(std::string& name, std::string& class_name, int& line) {
    line = Cur().line;
    if (Cur().IsKeyword("inherited") || Cur().IsKeyword("inline"))
        Fail("'" + Cur().text + "' blocks are not supported; 'object' expected");
    if (!Cur().IsKeyword("object")) Expected("'object'");
    lex_.Next();
    std::string first = ExpectIdent("component name");
    if (Cur().Is(':')) {
        lex_.Next();
        name = std::move(first);
        class_name = ExpectIdent("class name");
    } else {
        class_name = std::move(first);
    }
}

TComponent& FormReader::Read(TComponent* root,
                             const std::function<TComponent*(const TClassInfo&)>& create) {
    std::string name, class_name;
    int line = 1;
    ReadHeader(name, class_name, line);
    TComponent* created_root = nullptr;
    if (root) {
        if (!SameIdent(class_name, root->ClassName()))
            throw EReadError(line, "the description is of a " + class_name + ", not of a " +
                                       std::string(root->ClassName()));
    } else {
        const TClassInfo* info = GetClass(class_name);
        if (!info) throw EReadError(line, "class " + class_name + " is not registered");
        if (!info->IsComponentClass() || !info->CanCreate())
            throw EReadError(line, "cannot create a " + class_name);
        Guard(line, "cannot create " + class_name, [&] { root = create(*info); });
        created_root = root;
    }
    root_ = root;
    const TComponentState saved = root->state_;
    try {
        root->Include(csLoading);
        root->Include(csReading);
        if (!name.empty())
            Guard(line, "cannot name the root " + name, [&] { root->SetName(name); });
        loaded_.emplace_back(root, line);
        ReadBody(*root, 0);
        if (Cur().kind != TokenKind::End) Expected("end of text");
        ResolveFixups();
        RunLoaded();
    } catch (...) {
        Cleanup(created_root);
        if (!created_root) {
            root->Exclude(csLoading);
            root->Exclude(csReading);
            if (saved.contains(csLoading)) root->Include(csLoading);
        }
        throw;
    }
    return *root;
}

void FormReader::Cleanup(TComponent* created_root) {
    // Newest first, and only what the root still owns: a setter may have freed some.
    std::unordered_set<TComponent*> created(created_.begin(), created_.end());
    created_.clear();
    for (;;) {
        TComponent* victim = nullptr;
        for (int i = root_->ComponentCount() - 1; i >= 0 && !victim; --i)
            if (created.count(root_->Components(i))) victim = root_->Components(i);
        if (!victim) break;
        created.erase(victim);
        delete victim;
    }
    delete created_root;
}

void FormReader::ReadBody(TComponent& component, int depth) {
    while (Cur().kind == TokenKind::Ident && !Cur().IsKeyword("object") &&
           !Cur().IsKeyword("end") && !Cur().IsKeyword("inherited") && !Cur().IsKeyword("inline"))
        ReadProperty(component);
    while (Cur().IsKeyword("object") || Cur().IsKeyword("inherited") || Cur().IsKeyword("inline"))
        ReadChild(component, depth + 1);
    if (!Cur().IsKeyword("end")) {
        if (Cur().kind == TokenKind::Ident)
            Fail("property " + Cur().text + " after a nested object");
        Expected("'end'");
    }
    lex_.Next();
}

void FormReader::ReadChild(TComponent& parent, int depth) {
    std::string name, class_name;
    int line = 1;
    ReadHeader(name, class_name, line);
    if (depth > kMaxDepth) throw EReadError(line, "objects are nested too deeply");
    const TClassInfo* info = root_->ClassInfo().FindFieldClass(class_name);
    if (!info) info = GetClass(class_name);
    if (!info) throw EReadError(line, "class " + class_name + " is not registered");
    if (!info->IsComponentClass() || !info->CanCreate())
        throw EReadError(line, "cannot create a " + class_name);
    const std::string what = name.empty() ? class_name : name;
    TComponent* c = nullptr;
    Guard(line, "cannot create " + what, [&] { c = &info->CreateComponent(*root_); });
    created_.push_back(c);
    c->Include(csLoading);
    c->Include(csReading);
    Guard(line, "cannot name " + what, [&] { c->SetName(name); });
    Guard(line, "cannot place " + what + " on " + parent.Name(),
          [&] { c->SetParentComponent(&parent); });
    loaded_.emplace_back(c, line);
    ReadBody(*c, depth);
}

void FormReader::ReadProperty(TComponent& component) {
    const int line = Cur().line;
    std::vector<std::string> path{ExpectIdent("property name")};
    while (Cur().Is('.')) {
        lex_.Next();
        path.push_back(ExpectIdent("property name"));
    }
    Expect('=');

    TPersistent* object = &component;
    std::string shown =
        component.Name().empty() ? std::string(component.ClassName()) : component.Name();
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        const TPropInfo* prop = object->ClassInfo().FindProperty(path[i]);
        if (!prop || prop->Kind() != TPropKind::Object)
            throw EReadError(line, std::string(object->ClassName()) + " " + shown +
                                       " has no object property " + path[i]);
        shown += "." + prop->Name();
        object = prop->GetObject(*object);
        if (!object) throw EReadError(line, shown + " is not assigned");
    }
    const std::string& last = path.back();
    shown += "." + last;

    if (const TPropInfo* prop = object->ClassInfo().FindProperty(last)) {
        if (prop->Kind() == TPropKind::Object)
            throw EReadError(line, shown + " is an object: store its properties under " + last +
                                       ".<name>");
        ReadValue(*object, *prop, shown);
        return;
    }
    // Not published: maybe a property the class defines for itself.
    wanted_ = last;
    matched_ = false;
    value_path_ = shown;
    Guard(line, "Error reading " + shown, [&] { object->DefineProperties(*this); });
    const bool matched = matched_;
    wanted_.clear();
    matched_ = false;
    if (!matched)
        throw EReadError(line, "unknown property " + last + " of " +
                                   std::string(object->ClassName()) + " (" + shown + ")");
}

void FormReader::ReadValue(TPersistent& object, const TPropInfo& prop, const std::string& path) {
    const int line = Cur().line;
    const std::string what = "Error reading " + path;
    const Token& t = Cur();
    switch (prop.Kind()) {
    case TPropKind::Integer: {
        std::int64_t v = 0;
        if (t.kind == TokenKind::Integer) {
            v = t.integer;
        } else if (t.kind == TokenKind::Ident && prop.Idents() && prop.Idents()->ValueOf(t.text)) {
            v = *prop.Idents()->ValueOf(t.text);
        } else if (t.kind == TokenKind::Ident && prop.Idents()) {
            Fail("'" + t.text + "' is not a value of " + prop.Name());
        } else {
            Expected("integer value for " + prop.Name());
        }
        lex_.Next();
        Guard(line, what, [&] { prop.SetOrd(object, v); });
        break;
    }
    case TPropKind::Boolean: {
        if (!t.IsKeyword("True") && !t.IsKeyword("False"))
            Expected("True or False for " + prop.Name());
        const bool v = t.IsKeyword("True");
        lex_.Next();
        Guard(line, what, [&] { prop.SetOrd(object, v ? 1 : 0); });
        break;
    }
    case TPropKind::Enum: {
        if (t.kind != TokenKind::Ident) Expected("identifier for " + prop.Name());
        const auto v = prop.Idents()->ValueOf(t.text);
        if (!v) Fail("'" + t.text + "' is not a value of " + prop.Name());
        lex_.Next();
        Guard(line, what, [&] { prop.SetOrd(object, *v); });
        break;
    }
    case TPropKind::Set: {
        const std::int64_t bits = ReadSetValue(prop, path);
        Guard(line, what, [&] { prop.SetOrd(object, bits); });
        break;
    }
    case TPropKind::String: {
        if (t.kind != TokenKind::String) Expected("string for " + prop.Name());
        const std::string v = ReadStringValue();
        Guard(line, what, [&] { prop.SetStr(object, v); });
        break;
    }
    case TPropKind::Float: {
        double v = 0;
        if (t.kind == TokenKind::Float)
            v = t.real;
        else if (t.kind == TokenKind::Integer)
            v = static_cast<double>(t.integer);
        else
            Expected("number for " + prop.Name());
        lex_.Next();
        Guard(line, what, [&] { prop.SetFloat(object, v); });
        break;
    }
    case TPropKind::Event: {
        if (t.kind != TokenKind::Ident) Expected("handler name for " + prop.Name());
        const std::string handler = t.text;
        lex_.Next();
        TMethod m;
        if (!SameIdent(handler, "nil")) {
            const TMethodInfo* info = root_->ClassInfo().FindMethod(handler);
            if (!info)
                throw EReadError(line, "unknown handler " + handler + " for " + path + ": " +
                                           std::string(root_->ClassName()) +
                                           " has no published method of that name");
            if (info->EventType != prop.EventType())
                throw EReadError(line, "handler " + info->Name + " of " +
                                           std::string(root_->ClassName()) + " does not fit " +
                                           path + ": its parameters differ");
            m = {info->Code, root_};
        }
        Guard(line, what, [&] { prop.SetMethod(object, m); });
        break;
    }
    case TPropKind::Component: {
        if (t.kind != TokenKind::Ident) Expected("component name for " + prop.Name());
        std::string target = t.text;
        lex_.Next();
        while (Cur().Is('.')) {
            lex_.Next();
            target += "." + ExpectIdent("component name");
        }
        if (SameIdent(target, "nil")) {
            Guard(line, what, [&] { prop.SetComponent(object, nullptr); });
        } else {
            fixups_.push_back({&object, &prop, std::move(target), path, line});
        }
        break;
    }
    case TPropKind::Object:
        break; // refused by the caller
    }
}

std::string FormReader::ReadStringValue() {
    std::string v = Cur().text;
    lex_.Next();
    while (Cur().Is('+')) {
        lex_.Next();
        if (Cur().kind != TokenKind::String) Expected("string after '+'");
        v += Cur().text;
        lex_.Next();
    }
    return v;
}

std::int64_t FormReader::ReadSetValue(const TPropInfo& prop, const std::string&) {
    Expect('[');
    std::uint64_t bits = 0;
    if (!Cur().Is(']')) {
        for (;;) {
            if (Cur().kind != TokenKind::Ident) Expected("set element of " + prop.Name());
            const auto v = prop.Idents()->ValueOf(Cur().text);
            if (!v || *v < 0 || *v > 63)
                Fail("'" + Cur().text + "' is not an element of " + prop.Name());
            bits |= std::uint64_t{1} << *v;
            lex_.Next();
            if (Cur().Is(']')) break;
            Expect(',');
        }
    }
    lex_.Next();
    return static_cast<std::int64_t>(bits);
}

void FormReader::ResolveFixups() {
    for (const Fixup& f : fixups_) {
        TComponent* target = nullptr;
        if (SameIdent(f.target, root_->Name()))
            target = root_;
        else
            target = root_->FindComponent(f.target);
        if (!target) throw EReadError(f.line, "unknown component " + f.target + " for " + f.path);
        bool fits = false;
        Guard(f.line, "Error reading " + f.path,
              [&] { fits = f.prop->SetComponent(*f.object, target); });
        if (!fits) {
            const TClassInfo* wanted = f.prop->ReferenceClass();
            throw EReadError(f.line, f.target + " is a " + std::string(target->ClassName()) + "; " +
                                         f.path + " takes a " +
                                         (wanted ? wanted->Name() : std::string("component")));
        }
    }
}

void FormReader::RunLoaded() {
    for (auto& [c, line] : loaded_)
        c->Exclude(csReading);
    for (auto& [c, line] : loaded_) {
        TComponent* component = c;
        Guard(line, "Error loading " + component->Name(), [&] { component->Loaded(); });
    }
}

// --- defined properties ---------------------------------------------------------------

void FormReader::BeginValue(const std::string& path) {
    value_path_ = path;
    values_read_ = 0;
}

void FormReader::DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc&,
                                bool) {
    if (matched_ || wanted_.empty() || !SameIdent(name, wanted_)) return;
    matched_ = true;
    const int line = Cur().line;
    if (!read) throw EReadError(line, value_path_ + " cannot be read");
    BeginValue(value_path_);
    read(*this);
    if (values_read_ == 0) throw EReadError(line, value_path_ + ": its value was not read");
}

void FormReader::DefineBinaryProperty(std::string_view name, const TStreamProc& read,
                                      const TStreamProc&, bool) {
    if (matched_ || wanted_.empty() || !SameIdent(name, wanted_)) return;
    matched_ = true;
    const int line = Cur().line;
    if (!Cur().Is('{')) Expected("binary block for " + value_path_);
    TMemoryStream stream(lex_.ReadBinary());
    if (!read) throw EReadError(line, value_path_ + " cannot be read");
    Guard(line, "Error reading " + value_path_, [&] { read(stream); });
    if (stream.Remaining() > 0)
        throw EReadError(line, value_path_ + ": " + std::to_string(stream.Remaining()) + " of " +
                                   std::to_string(stream.Size()) +
                                   " bytes of the block were not read");
}

std::int64_t FormReader::ReadInteger() {
    if (values_read_++ > 0) Fail(value_path_ + " takes one value");
    if (Cur().kind != TokenKind::Integer) Expected("integer value for " + value_path_);
    const std::int64_t v = Cur().integer;
    lex_.Next();
    return v;
}

bool FormReader::ReadBoolean() {
    if (values_read_++ > 0) Fail(value_path_ + " takes one value");
    if (!Cur().IsKeyword("True") && !Cur().IsKeyword("False"))
        Expected("True or False for " + value_path_);
    const bool v = Cur().IsKeyword("True");
    lex_.Next();
    return v;
}

std::string FormReader::ReadString() {
    if (values_read_++ > 0) Fail(value_path_ + " takes one value");
    if (Cur().kind != TokenKind::String) Expected("string for " + value_path_);
    return ReadStringValue();
}

double FormReader::ReadFloat() {
    if (values_read_++ > 0) Fail(value_path_ + " takes one value");
    double v = 0;
    if (Cur().kind == TokenKind::Float)
        v = Cur().real;
    else if (Cur().kind == TokenKind::Integer)
        v = static_cast<double>(Cur().integer);
    else
        Expected("number for " + value_path_);
    lex_.Next();
    return v;
}

std::string FormReader::ReadIdent() {
    if (values_read_++ > 0) Fail(value_path_ + " takes one value");
    if (Cur().kind != TokenKind::Ident) Expected("identifier for " + value_path_);
    std::string v = Cur().text;
    lex_.Next();
    return v;
}

} // namespace detail

void ReadComponent(std::string_view text, TComponent& root) {
    detail::FormReader reader(text);
    reader.Read(&root, {});
}

std::unique_ptr<TComponent> ReadNewComponent(std::string_view text) {
    detail::FormReader reader(text);
    TComponent& root = reader.Read(nullptr, [](const TClassInfo& info) -> TComponent* {
        return info.CreateComponent().release();
    });
    return std::unique_ptr<TComponent>(&root);
}

TComponent& ReadNewComponent(std::string_view text, TComponent& owner) {
    detail::FormReader reader(text);
    return reader.Read(nullptr,
                       [&](const TClassInfo& info) { return &info.CreateComponent(owner); });
}

} // namespace fw
