#include "framework/streaming.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>

#include "framework/timer.h"

namespace fw {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// ---- The class registry ----

struct Registry {
  std::mutex mutex;
  std::deque<std::unique_ptr<TClassInfo>> classes;  // stable addresses
};

void RegisterBuiltins(Registry& r);

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;
    RegisterBuiltins(*r);
    return r;
  }();
  return *registry;
}

TClassInfo* FindLocked(Registry& r, const std::string& name) {
  for (auto& c : r.classes) {
    if (c->name == name) return c.get();
  }
  return nullptr;
}

TClassInfo* AddLocked(Registry& r, const std::string& name, const std::string& parent,
                      std::function<TComponent*(TComponent*)> create,
                      std::function<bool(const TObject*)> isInstance, bool& existed) {
  if (TClassInfo* known = FindLocked(r, name)) {
    existed = true;
    return known;
  }
  existed = false;
  auto info = std::make_unique<TClassInfo>();
  info->name = name;
  if (!parent.empty()) {
    info->parent = FindLocked(r, parent);
    if (info->parent == nullptr) {
      throw EClassNotFound("Class " + parent + " not found (base of " + name + ")");
    }
  }
  info->create = std::move(create);
  info->isInstance = std::move(isInstance);
  r.classes.push_back(std::move(info));
  return r.classes.back().get();
}

void RegisterBuiltins(Registry& r) {
  bool existed = false;
  AddLocked(r, "TComponent", "", nullptr,
            [](const TObject* o) { return dynamic_cast<const TComponent*>(o) != nullptr; },
            existed);
  TClassInfo* timer = AddLocked(
      r, "TTimer", "TComponent", [](TComponent* owner) -> TComponent* { return new TTimer(owner); },
      [](const TObject* o) { return dynamic_cast<const TTimer*>(o) != nullptr; }, existed);
  TClassBuilder<TTimer>(timer)
      .Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
      .Integer("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
      .Event("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer);
}

// ---- Colours ----

struct NamedColor {
  const char* name;
  TColor value;
};
constexpr TColor Sys(unsigned index) { return 0x80000000u | index; }
constexpr NamedColor kColors[] = {
    {"clBlack", RGB(0, 0, 0)},          {"clMaroon", RGB(128, 0, 0)},
    {"clGreen", RGB(0, 128, 0)},        {"clOlive", RGB(128, 128, 0)},
    {"clNavy", RGB(0, 0, 128)},         {"clPurple", RGB(128, 0, 128)},
    {"clTeal", RGB(0, 128, 128)},       {"clGray", RGB(128, 128, 128)},
    {"clSilver", RGB(192, 192, 192)},   {"clRed", RGB(255, 0, 0)},
    {"clLime", RGB(0, 255, 0)},         {"clYellow", RGB(255, 255, 0)},
    {"clBlue", RGB(0, 0, 255)},         {"clFuchsia", RGB(255, 0, 255)},
    {"clAqua", RGB(0, 255, 255)},       {"clWhite", RGB(255, 255, 255)},
    {"clScrollBar", Sys(0)},            {"clBackground", Sys(1)},
    {"clActiveCaption", Sys(2)},        {"clInactiveCaption", Sys(3)},
    {"clMenu", Sys(4)},                 {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)},          {"clMenuText", Sys(7)},
    {"clWindowText", Sys(8)},           {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)},        {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)},        {"clHighlight", Sys(13)},
    {"clHighlightText", Sys(14)},       {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)},           {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},             {"clInactiveCaptionText", Sys(19)},
    {"clBtnHighlight", Sys(20)},        {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},              {"clNone", 0x1FFFFFFFu},
    {"clDefault", 0x20000000u},
};

// ---- Tokens ----

enum class Tok { End, Ident, Integer, String, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // identifier, symbol, or the decoded string bytes
  long long number = 0;
  int line = 0;
};

class Lexer {
 public:
  explicit Lexer(const std::string& text) : s_(text) { Advance(); }

  const Token& Peek() const { return tok_; }
  Token Next() {
    Token t = tok_;
    Advance();
    return t;
  }
  [[noreturn]] void Fail(const std::string& what) const { Fail(tok_.line, what); }
  [[noreturn]] static void Fail(int line, const std::string& what) {
    throw EReadError("Line " + std::to_string(line) + ": " + what);
  }

 private:
  void SkipSpace() {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == '\n') {
        ++line_;
        ++i_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++i_;
      } else {
        break;
      }
    }
  }
  static bool IdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
  }
  static bool IdentChar(char c) {
    return IdentStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.';
  }

  // One string: quoted runs and #nnn characters, joined; a '+' at a line's end continues it.
  void ReadString() {
    std::string out;
    for (;;) {
      if (i_ < s_.size() && s_[i_] == '\'') {
        ++i_;
        for (;;) {
          if (i_ >= s_.size() || s_[i_] == '\n') Fail(line_, "Unterminated string");
          if (s_[i_] == '\'') {
            if (i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
              out += '\'';
              i_ += 2;
              continue;
            }
            ++i_;
            break;
          }
          out += s_[i_++];
        }
      } else if (i_ < s_.size() && s_[i_] == '#') {
        ++i_;
        size_t start = i_;
        long long v = 0;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) != 0) {
          v = v * 10 + (s_[i_] - '0');
          if (v > 255) Fail(line_, "Character code out of range");
          ++i_;
        }
        if (i_ == start) Fail(line_, "Invalid character code");
        out += static_cast<char>(static_cast<unsigned char>(v));
      } else {
        // A '+' continues the string on the next line.
        size_t save = i_;
        int saveLine = line_;
        SkipSpace();
        if (i_ < s_.size() && s_[i_] == '+') {
          ++i_;
          SkipSpace();
          if (i_ < s_.size() && (s_[i_] == '\'' || s_[i_] == '#')) continue;
          Fail(line_, "String expected after '+'");
        }
        i_ = save;
        line_ = saveLine;
        break;
      }
    }
    tok_.kind = Tok::String;
    tok_.text = std::move(out);
  }

  void Advance() {
    SkipSpace();
    tok_ = Token{};
    tok_.line = line_;
    if (i_ >= s_.size()) return;
    const char c = s_[i_];
    if (IdentStart(c)) {
      size_t start = i_;
      while (i_ < s_.size() && IdentChar(s_[i_])) ++i_;
      tok_.kind = Tok::Ident;
      tok_.text = s_.substr(start, i_ - start);
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '$') {
      bool negative = false;
      if (c == '-') {
        negative = true;
        ++i_;
      }
      unsigned long long v = 0;
      size_t start = i_;
      if (i_ < s_.size() && s_[i_] == '$') {
        ++i_;
        start = i_;
        while (i_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[i_])) != 0) {
          const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(s_[i_])));
          v = v * 16 + static_cast<unsigned>(d <= '9' ? d - '0' : d - 'a' + 10);
          if (v > 0xFFFFFFFFFFFFull) Fail(line_, "Number out of range");
          ++i_;
        }
      } else {
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) != 0) {
          v = v * 10 + static_cast<unsigned>(s_[i_] - '0');
          if (v > 0xFFFFFFFFFFFFull) Fail(line_, "Number out of range");
          ++i_;
        }
      }
      if (i_ == start) Fail(line_, "Invalid number");
      if (i_ < s_.size() && IdentChar(s_[i_])) Fail(line_, "Invalid number");
      tok_.kind = Tok::Integer;
      tok_.number = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    } else if (c == '=' || c == ':' || c == '[' || c == ']' || c == '(' || c == ')' ||
               c == ',') {
      tok_.kind = Tok::Symbol;
      tok_.text = std::string(1, c);
      ++i_;
    } else {
      Fail(line_, std::string("Unexpected character '") + c + "'");
    }
  }

  const std::string& s_;
  size_t i_ = 0;
  int line_ = 1;
  Token tok_;
};

// ---- Reader ----

// Raises the read error of one property line.
struct Failer {
  int line;
  std::string where;
  [[noreturn]] void operator()(const std::string& what) const {
    Lexer::Fail(line, where + ": " + what);
  }
};

struct Fixup {
  TComponent* component;  // whose property
  TObject* target;        // the object holding it (the component or a sub-object)
  const TPropInfo* prop;
  std::string value;  // component or method name
  int line;
  std::string where;
};

class Reader {
 public:
  Reader(const std::string& text, TComponent& root) : lex_(text), root_(root) {}

  void Read() {
    try {
      root_.BeginLoading();
      ExpectIdent("object");
      const std::string name = ExpectName();
      ExpectSymbol(":");
      ExpectName();  // the root's class: the root already exists
      root_.SetName(name);
      ReadBody(root_);
      if (lex_.Peek().kind != Tok::End) lex_.Fail("Text after the final 'end'");
      ResolveFixups();
    } catch (...) {
      // Leave nothing half-read behind: free what this read created, end the root's loading.
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) TComponent::Free(*it);
      created_.clear();
      root_.TComponent::Loaded();
      throw;
    }
    for (TComponent* c : created_) c->Loaded();
    root_.Loaded();
  }

 private:
  std::string ExpectName() {
    Token t = lex_.Next();
    if (t.kind != Tok::Ident) Lex().Fail(t.line, "Identifier expected");
    return t.text;
  }
  void ExpectIdent(const char* word) {
    Token t = lex_.Next();
    if (t.kind != Tok::Ident || !SameText(t.text, word)) {
      Lex().Fail(t.line, std::string("'") + word + "' expected");
    }
  }
  void ExpectSymbol(const char* symbol) {
    Token t = lex_.Next();
    if (t.kind != Tok::Symbol || t.text != symbol) {
      Lex().Fail(t.line, std::string("'") + symbol + "' expected");
    }
  }
  Lexer& Lex() { return lex_; }

  void ReadBody(TComponent& component) {
    const TClassInfo* info = ClassInfoOf(&component);
    for (;;) {
      const Token& t = lex_.Peek();
      if (t.kind == Tok::End) lex_.Fail("'end' expected");
      if (t.kind != Tok::Ident) lex_.Fail("Property name expected");
      if (SameText(t.text, "end")) {
        lex_.Next();
        return;
      }
      if (SameText(t.text, "object")) {
        lex_.Next();
        ReadChild(component);
        continue;
      }
      ReadProperty(component, info);
    }
  }

  void ReadChild(TComponent& container) {
    const int line = lex_.Peek().line;
    const std::string name = ExpectName();
    ExpectSymbol(":");
    const std::string className = ExpectName();
    const TClassInfo* info = FindClassInfo(className);
    if (info == nullptr || !info->create) {
      throw EClassNotFound("Line " + std::to_string(line) + ": Class " + className +
                           " not found");
    }
    if (name.empty() || root_.FindComponent(name) != nullptr || SameText(name, root_.Name())) {
      Lexer::Fail(line, "A component named " + name + " already exists");
    }
    TComponent* child = info->create(&root_);
    created_.push_back(child);
    child->BeginLoading();
    child->SetName(name);
    if (auto* nesting = dynamic_cast<TStreamNesting*>(child)) nesting->SetStreamParent(&container);
    ReadBody(*child);
  }

  void ReadProperty(TComponent& component, const TClassInfo* info) {
    const Token nameTok = lex_.Next();
    const int line = nameTok.line;
    const std::string where = component.Name() + "." + nameTok.text;
    const Failer fail{line, where};
    if (info == nullptr) fail("class " + std::string(component.ClassName()) + " not registered");

    // Walk the dotted path through sub-objects.
    TObject* target = &component;
    const TClassInfo* cls = info;
    const TPropInfo* prop = nullptr;
    std::string path = nameTok.text;
    for (;;) {
      const size_t dot = path.find('.');
      const std::string part = path.substr(0, dot);
      prop = cls->FindProperty(part);
      if (prop == nullptr) fail("Property " + part + " does not exist");
      if (dot == std::string::npos) break;
      path = path.substr(dot + 1);
      if (prop->kind == TPropKind::Strings && SameText(path, "Strings")) break;
      if (prop->kind != TPropKind::Object) fail("Property " + part + " has no fields");
      target = prop->object(*target);
      cls = FindClassInfo(prop->objectClass);
      if (target == nullptr || cls == nullptr) fail("Property " + part + " cannot be read");
    }
    if (prop->kind == TPropKind::Object) fail("A value for each field is expected");
    ExpectSymbol("=");

    if (prop->kind == TPropKind::Component || prop->kind == TPropKind::Event) {
      Token v = lex_.Next();
      if (v.kind != Tok::Ident) fail("Invalid property value");
      if (prop->kind == TPropKind::Component ? !prop->set : !prop->setEvent) {
        fail("Property is read-only");
      }
      fixups_.push_back({&component, target, prop, v.text, line, where});
      return;
    }
    TPropValue value = ReadValue(*prop, fail);
    if (!prop->set) fail("Property is read-only");
    try {
      prop->set(*target, value);
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      fail(e.Message());
    }
  }

  long long ReadNumberOrName(const TPropInfo& prop, const Failer& fail) {
    Token v = lex_.Next();
    if (v.kind == Tok::Integer) return v.number;
    if (v.kind == Tok::Ident) {
      if (prop.kind == TPropKind::Color) {
        TColor c = 0;
        if (ColorFromIdent(v.text, c)) return static_cast<long long>(c);
      }
      for (const auto& [n, value] : prop.namedValues) {
        if (SameText(n, v.text)) return value;
      }
    }
    fail("Invalid property value");
  }

  long long MemberIndex(const TPropInfo& prop, const std::string& name) {
    for (size_t k = 0; k < prop.memberNames.size(); ++k) {
      if (SameText(prop.memberNames[k], name)) return static_cast<long long>(k);
    }
    return -1;
  }

  TPropValue ReadValue(const TPropInfo& prop, const Failer& fail) {
    switch (prop.kind) {
      case TPropKind::Integer: {
        const long long v = ReadNumberOrName(prop, fail);
        if (v < prop.minValue || v > prop.maxValue) fail("Value out of range");
        return v;
      }
      case TPropKind::Color: {
        const long long v = ReadNumberOrName(prop, fail);
        if (v < -0x80000000LL || v > 0xFFFFFFFFLL) fail("Value out of range");
        return static_cast<long long>(static_cast<TColor>(v));
      }
      case TPropKind::Boolean: {
        Token v = lex_.Next();
        if (v.kind == Tok::Ident && SameText(v.text, "True")) return true;
        if (v.kind == Tok::Ident && SameText(v.text, "False")) return false;
        fail("Invalid property value");
      }
      case TPropKind::Text: {
        Token v = lex_.Next();
        if (v.kind != Tok::String) fail("String expected");
        return v.text;
      }
      case TPropKind::Char: {
        Token v = lex_.Next();
        if (v.kind != Tok::String || v.text.size() != 1) fail("Character expected");
        return static_cast<long long>(static_cast<unsigned char>(v.text[0]));
      }
      case TPropKind::Enumeration: {
        Token v = lex_.Next();
        long long k = -1;
        if (v.kind == Tok::Ident) k = MemberIndex(prop, v.text);
        if (k < 0) fail("Invalid property value");
        return k;
      }
      case TPropKind::Set: {
        ExpectSymbol("[");
        unsigned long long bits = 0;
        if (lex_.Peek().kind == Tok::Symbol && lex_.Peek().text == "]") {
          lex_.Next();
          return static_cast<long long>(bits);
        }
        for (;;) {
          Token v = lex_.Next();
          const long long k = v.kind == Tok::Ident ? MemberIndex(prop, v.text) : -1;
          if (k < 0 || k >= 64) fail("Invalid set member");
          bits |= 1ull << k;
          Token sep = lex_.Next();
          if (sep.kind == Tok::Symbol && sep.text == "]") break;
          if (sep.kind != Tok::Symbol || sep.text != ",") fail("',' or ']' expected");
        }
        return static_cast<long long>(bits);
      }
      case TPropKind::Strings: {
        ExpectSymbol("(");
        std::vector<std::string> items;
        for (;;) {
          Token v = lex_.Next();
          if (v.kind == Tok::Symbol && v.text == ")") break;
          if (v.kind != Tok::String) fail("String expected");
          items.push_back(v.text);
        }
        return items;
      }
      case TPropKind::Object:
      case TPropKind::Component:
      case TPropKind::Event:
        break;
    }
    fail("Invalid property value");
  }

  void ResolveFixups() {
    const TMethodTable* methods = nullptr;
    if (auto* owner = dynamic_cast<TMethodOwner*>(&root_)) methods = &owner->Methods();
    for (const Fixup& f : fixups_) {
      const Failer fail{f.line, f.where};
      if (f.prop->kind == TPropKind::Component) {
        TComponent* c = SameText(f.value, root_.Name()) ? &root_ : nullptr;
        if (c == nullptr) {
          for (int k = 0; k < root_.ComponentCount(); ++k) {
            if (SameText(root_.Components(k)->Name(), f.value)) c = root_.Components(k);
          }
        }
        if (c == nullptr) fail("Component " + f.value + " not found");
        if (!f.prop->accepts(c)) fail("Component " + f.value + " is of the wrong class");
        f.prop->set(*f.target, TPropValue(c));
      } else {
        const std::any* m = methods != nullptr ? methods->Find(f.value) : nullptr;
        if (m == nullptr) fail("Method " + f.value + " not found");
        if (!f.prop->setEvent(*f.target, *m)) fail("Method " + f.value + " does not fit");
      }
    }
  }

  Lexer lex_;
  TComponent& root_;
  std::vector<TComponent*> created_;
  std::vector<Fixup> fixups_;
};

// ---- Writer ----

std::string QuoteText(const std::string& s) {
  if (s.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 32 && c <= 126) {
      if (!quoted) {
        out += '\'';
        quoted = true;
      }
      out += ch;
      if (ch == '\'') out += '\'';
    } else {
      if (quoted) {
        out += '\'';
        quoted = false;
      }
      out += '#' + std::to_string(c);
    }
  }
  if (quoted) out += '\'';
  return out;
}

std::string ColorText(long long v) {
  const auto c = static_cast<TColor>(v);
  std::string ident = ColorToIdent(c);
  if (!ident.empty()) return ident;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", c);
  return buf;
}

class Writer {
 public:
  explicit Writer(TComponent& root) : root_(root) {
    if (auto* owner = dynamic_cast<TMethodOwner*>(&root)) methods_ = &owner->Methods();
  }

  std::string Write() {
    WriteObject(root_, 0);
    return out_;
  }

 private:
  void Line(int indent, const std::string& text) {
    out_.append(static_cast<size_t>(indent) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }

  void WriteObject(TComponent& c, int indent) {
    Line(indent, "object " + c.Name() + ": " + c.ClassName());
    if (const TClassInfo* info = ClassInfoOf(&c)) WriteProperties(c, *info, "", indent + 1);
    for (int k = 0; k < root_.ComponentCount(); ++k) {
      TComponent* child = root_.Components(k);
      if (ContainerOf(child) == &c) WriteObject(*child, indent + 1);
    }
    Line(indent, "end");
  }

  TComponent* ContainerOf(TComponent* child) {
    TComponent* parent = nullptr;
    if (auto* nesting = dynamic_cast<TStreamNesting*>(child)) parent = nesting->StreamParent();
    // Only components of this form nest; anything else sits directly under the root.
    if (parent == nullptr || parent == child || parent->Owner() != &root_) return &root_;
    return parent;
  }

  void WriteProperties(TObject& object, const TClassInfo& info, const std::string& prefix,
                       int indent) {
    for (const TPropInfo* p : info.Properties()) {
      if (p->stored && !p->stored(object)) continue;
      const std::string name = prefix + p->name;
      switch (p->kind) {
        case TPropKind::Object: {
          TPersistent* sub = p->object(object);
          const TClassInfo* subInfo = FindClassInfo(p->objectClass);
          if (sub != nullptr && subInfo != nullptr) {
            WriteProperties(*sub, *subInfo, name + ".", indent);
          }
          continue;
        }
        case TPropKind::Event: {
          if (!p->eventAssigned(object) || methods_ == nullptr) continue;
          for (const TMethodTable::Entry& e : methods_->Entries()) {
            if (p->eventIs(object, e.method)) {
              Line(indent, name + " = " + e.name);
              break;
            }
          }
          continue;
        }
        default:
          break;
      }
      const TPropValue v = p->get(object);
      if (p->defaultValue && v == *p->defaultValue) continue;
      WriteValue(*p, name, v, indent);
    }
  }

  void WriteValue(const TPropInfo& p, const std::string& name, const TPropValue& v, int indent) {
    std::string text;
    switch (p.kind) {
      case TPropKind::Integer: {
        const long long n = std::get<long long>(v);
        text = std::to_string(n);
        for (const auto& [ident, value] : p.namedValues) {
          if (value == n) {
            text = ident;
            break;
          }
        }
        break;
      }
      case TPropKind::Color:
        text = ColorText(std::get<long long>(v));
        break;
      case TPropKind::Boolean:
        text = std::get<bool>(v) ? "True" : "False";
        break;
      case TPropKind::Text:
        text = QuoteText(std::get<std::string>(v));
        break;
      case TPropKind::Char:
        text = QuoteText(std::string(1, static_cast<char>(std::get<long long>(v))));
        break;
      case TPropKind::Enumeration: {
        const long long k = std::get<long long>(v);
        if (k < 0 || k >= static_cast<long long>(p.memberNames.size())) {
          throw Exception("Cannot write " + name + ": value " + std::to_string(k) +
                          " has no name");
        }
        text = p.memberNames[static_cast<size_t>(k)];
        break;
      }
      case TPropKind::Set: {
        const auto bits = static_cast<unsigned long long>(std::get<long long>(v));
        text = "[";
        bool first = true;
        for (size_t k = 0; k < p.memberNames.size() && k < 64; ++k) {
          if ((bits & (1ull << k)) == 0) continue;
          if (!first) text += ", ";
          text += p.memberNames[k];
          first = false;
        }
        text += "]";
        break;
      }
      case TPropKind::Strings: {
        Line(indent, name + ".Strings = (");
        const auto& items = std::get<std::vector<std::string>>(v);
        for (size_t k = 0; k < items.size(); ++k) {
          Line(indent + 1, QuoteText(items[k]) + (k + 1 == items.size() ? ")" : ""));
        }
        return;
      }
      case TPropKind::Component: {
        TComponent* c = std::get<TComponent*>(v);
        if (c == nullptr) return;
        text = c->Name();
        break;
      }
      case TPropKind::Object:
      case TPropKind::Event:
        return;
    }
    Line(indent, name + " = " + text);
  }

  TComponent& root_;
  const TMethodTable* methods_ = nullptr;
  std::string out_;
};

}  // namespace

// ---- Public functions ----

const std::any* TMethodTable::Find(const std::string& name) const {
  for (const Entry& e : entries_) {
    if (SameText(e.name, name)) return &e.method;
  }
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<const TPropInfo*> all;
  if (parent != nullptr) all = parent->Properties();
  for (const TPropInfo& p : ownProperties) all.push_back(&p);
  return all;
}

const TPropInfo* TClassInfo::FindProperty(const std::string& name) const {
  for (const TPropInfo& p : ownProperties) {
    if (SameText(p.name, name)) return &p;
  }
  return parent != nullptr ? parent->FindProperty(name) : nullptr;
}

const TClassInfo* FindClassInfo(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return FindLocked(r, name);
}

const TClassInfo* ClassInfoOf(const TObject* object) {
  if (object == nullptr) return nullptr;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (const auto* p = dynamic_cast<const TPersistent*>(object)) {
    if (TClassInfo* exact = FindLocked(r, p->ClassName())) {
      if (exact->isInstance(object)) return exact;
    }
  }
  const TClassInfo* best = nullptr;
  for (auto& c : r.classes) {
    if (c->isInstance(object) && (best == nullptr || c->Depth() > best->Depth())) best = c.get();
  }
  return best;
}

namespace detail {
[[gnu::noinline]] void SetDefault(TPropInfo& property, TPropValue value) {
  property.defaultValue = std::move(value);
}

TClassInfo* AddClass(const std::string& name, const std::string& parent,
                     std::function<TComponent*(TComponent*)> create,
                     std::function<bool(const TObject*)> isInstance, bool& existed) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  return AddLocked(r, name, parent, std::move(create), std::move(isInstance), existed);
}
}  // namespace detail

void ReadComponentText(const std::string& text, TComponent& root) {
  Reader reader(text, root);
  reader.Read();
}

std::string WriteComponentText(TComponent& root) {
  Writer writer(root);
  return writer.Write();
}

bool ColorFromIdent(const std::string& ident, TColor& color) {
  for (const NamedColor& c : kColors) {
    if (SameText(ident, c.name)) {
      color = c.value;
      return true;
    }
  }
  return false;
}

std::string ColorToIdent(TColor color) {
  for (const NamedColor& c : kColors) {
    if (c.value == color) return c.name;
  }
  return "";
}

}  // namespace fw
