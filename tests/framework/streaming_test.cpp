#include "framework/streaming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/set.h"
#include "framework/timer.h"

namespace fw {
namespace {

enum TMode { mdOff, mdOn, mdAuto };
enum TOpt { opA, opB, opC };
using TOpts = TSet<TOpt, 8>;
using TPingEvent = Closure<void(TObject* sender, int& answer)>;

class TSampleSub : public TPersistent {
 public:
  const char* ClassName() const override { return "TSampleSub"; }
  int Size() const { return size_; }
  void SetSize(int v) { size_ = v; }
  const std::string& Label() const { return label_; }
  void SetLabel(const std::string& v) { label_ = v; }

 private:
  int size_ = 8;
  std::string label_;
};

class TSample : public TComponent, public TStreamNesting {
 public:
  explicit TSample(TComponent* owner) : TComponent(owner) {}
  const char* ClassName() const override { return "TSample"; }

  short Count() const { return count_; }
  void SetCount(short v) { Touch(), count_ = v; }
  bool Flag() const { return flag_; }
  void SetFlag(bool v) { Touch(), flag_ = v; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& v) { Touch(), title_ = v; }
  char Letter() const { return letter_; }
  void SetLetter(char v) { Touch(), letter_ = v; }
  TMode Mode() const { return mode_; }
  void SetMode(TMode v) { Touch(), mode_ = v; }
  int Custom() const { return custom_; }
  void SetCustom(int v) { Touch(), custom_ = v; }
  TOpts Opts() const { return opts_; }
  void SetOpts(TOpts v) { Touch(), opts_ = v; }
  TColor Shade() const { return shade_; }
  void SetShade(TColor v) { Touch(), shade_ = v; }
  TSampleSub* Sub() { return &sub_; }
  const TStringList& Items() const { return items_; }
  void SetItems(const TStringList& v) {
    Touch();
    items_.Clear();
    for (const std::string& s : v.Items()) items_.Add(s);
  }
  TSample* Peer() const { return peer_; }
  void SetPeer(TSample* v) { peer_ = v; }
  TPingEvent OnPing() const { return onPing_; }
  void SetOnPing(TPingEvent v) { onPing_ = v; }
  std::string About() const { return "sample 1.0"; }

  TComponent* StreamParent() const override { return parent_; }
  void SetStreamParent(TComponent* p) override { parent_ = p; }

  void Loaded() override {
    TComponent::Loaded();
    ++loadedCalls;
    peerAtLoaded = peer_;
    loadOrder().push_back(Name());
  }
  static std::vector<std::string>& loadOrder() {
    static std::vector<std::string> order;
    return order;
  }

  int loadedCalls = 0;
  bool setOutsideLoading = false;
  TSample* peerAtLoaded = nullptr;

 private:
  void Touch() { setOutsideLoading = setOutsideLoading || !Loading(); }
  short count_ = 0;
  bool flag_ = true;
  std::string title_;
  char letter_ = 'a';
  TMode mode_ = mdOff;
  int custom_ = 0;
  TOpts opts_;
  TColor shade_ = clBtnFace;
  TSampleSub sub_;
  TStringList items_;
  TSample* peer_ = nullptr;
  TPingEvent onPing_;
  TComponent* parent_ = nullptr;
};

class TSampleForm : public TComponent, public TMethodOwner {
 public:
  TSampleForm() : TComponent(nullptr) {
    methods_.Add("Ping", Method<&TSampleForm::Ping>(this));
    methods_.Add("Tick", Method<&TSampleForm::Tick>(this));
  }
  const char* ClassName() const override { return "TSampleForm"; }
  const TMethodTable& Methods() const override { return methods_; }
  void Loaded() override {
    TComponent::Loaded();
    ++loadedCalls;
    TSample::loadOrder().push_back(Name());
  }
  void Ping(TObject*, int& answer) { answer = 42; }
  void Tick(TObject*) {}
  TSample* Child(const std::string& name) { return dynamic_cast<TSample*>(FindComponent(name)); }

  int loadedCalls = 0;

 private:
  TMethodTable methods_;
};

void RegisterSampleClasses() {
  RegisterSubObject<TSampleSub>("TSampleSub")
      .Integer("Size", &TSampleSub::Size, &TSampleSub::SetSize, 8)
      .Text("Label", &TSampleSub::Label, &TSampleSub::SetLabel, "");
  RegisterComponentClass<TSample>("TSample", "TComponent")
      .Text("About", &TSample::About, nullptr, "")
      .NeverStored()
      .Integer("Count", &TSample::Count, &TSample::SetCount, 0)
      .Boolean("Flag", &TSample::Flag, &TSample::SetFlag, true)
      .Text("Title", &TSample::Title, &TSample::SetTitle, "")
      .Char("Letter", &TSample::Letter, &TSample::SetLetter, 'a')
      .Enumeration("Mode", {"mdOff", "mdOn", "mdAuto"}, &TSample::Mode, &TSample::SetMode, mdOff)
      .Integer("Custom", &TSample::Custom, &TSample::SetCustom)
      .StoredWhen([](TSample& s) { return s.Mode() == mdAuto; })
      .Set("Opts", {"opA", "opB", "opC"}, &TSample::Opts, &TSample::SetOpts, TOpts{})
      .Color("Shade", &TSample::Shade, &TSample::SetShade, clBtnFace)
      .Object("Sub", &TSample::Sub, "TSampleSub")
      .Strings("Items", &TSample::Items, &TSample::SetItems)
      .Component("Peer", &TSample::Peer, &TSample::SetPeer)
      .Event("OnPing", &TSample::OnPing, &TSample::SetOnPing);
  RegisterBaseClass<TSampleForm>("TSampleForm", "TComponent");
}

class StreamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSampleClasses();
    TSample::loadOrder().clear();
  }
};

TEST_F(StreamingTest, round_trip_keeps_every_kind_of_value) {
  TSampleForm form;
  form.SetName("Form1");
  auto* a = new TSample(&form);
  a->SetName("A");
  auto* b = new TSample(&form);
  b->SetName("B");
  b->SetStreamParent(a);
  a->SetCount(-11);
  a->SetFlag(false);
  a->SetTitle("It's \"Gr\xFCn\"\r\nnext");
  a->SetLetter('\x11');
  a->SetMode(mdAuto);
  a->SetCustom(250000);
  a->SetOpts({opA, opC});
  a->SetShade(RGB(1, 2, 3));
  a->Sub()->SetSize(16);
  a->Sub()->SetLabel("x");
  TStringList items;
  items.Add("COM1");
  items.Add("");
  a->SetItems(items);
  a->SetPeer(b);
  b->SetPeer(a);
  a->SetOnPing(Method<&TSampleForm::Ping>(&form));

  const std::string text = WriteComponentText(form);
  TSampleForm copy;
  ReadComponentText(text, copy);

  EXPECT_EQ(copy.Name(), "Form1");
  TSample* ra = copy.Child("A");
  TSample* rb = copy.Child("B");
  ASSERT_NE(ra, nullptr);
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(ra->Count(), -11);
  EXPECT_FALSE(ra->Flag());
  EXPECT_EQ(ra->Title(), "It's \"Gr\xFCn\"\r\nnext");
  EXPECT_EQ(ra->Letter(), '\x11');
  EXPECT_EQ(ra->Mode(), mdAuto);
  EXPECT_EQ(ra->Custom(), 250000);
  EXPECT_EQ(ra->Opts(), (TOpts{opA, opC}));
  EXPECT_EQ(ra->Shade(), RGB(1, 2, 3));
  EXPECT_EQ(ra->Sub()->Size(), 16);
  EXPECT_EQ(ra->Sub()->Label(), "x");
  EXPECT_EQ(ra->Items().Items(), items.Items());
  EXPECT_EQ(ra->Peer(), rb);
  EXPECT_EQ(rb->Peer(), ra);
  EXPECT_EQ(rb->StreamParent(), ra);
  EXPECT_EQ(ra->StreamParent(), &copy);
  ASSERT_TRUE(ra->OnPing());
  EXPECT_EQ(ra->OnPing(), Method<&TSampleForm::Ping>(&copy));
  // Written again, the copy gives the same text.
  EXPECT_EQ(WriteComponentText(copy), text);
}

TEST_F(StreamingTest, defaults_and_unstored_values_are_not_written) {
  TSampleForm form;
  form.SetName("Form1");
  auto* a = new TSample(&form);
  a->SetName("A");
  a->SetCustom(5);  // stored only while Mode is mdAuto
  EXPECT_EQ(WriteComponentText(form),
            "object Form1: TSampleForm\n"
            "  object A: TSample\n"
            "  end\n"
            "end\n");
  a->SetMode(mdAuto);
  a->SetShade(clWhite);
  a->SetOpts({opB});
  a->SetTitle("Gr\xFCn 'x'");
  a->Sub()->SetSize(9);
  EXPECT_EQ(WriteComponentText(form),
            "object Form1: TSampleForm\n"
            "  object A: TSample\n"
            "    Title = 'Gr'#252'n ''x'''\n"
            "    Mode = mdAuto\n"
            "    Custom = 5\n"
            "    Opts = [opB]\n"
            "    Shade = clWhite\n"
            "    Sub.Size = 9\n"
            "  end\n"
            "end\n");
}

TEST_F(StreamingTest, loaded_runs_once_after_everything_is_set_children_before_root) {
  TSampleForm form;
  ReadComponentText(
      "object F: TSampleForm\n"
      "  object A: TSample\n"
      "    Peer = B\n"  // a reference to a component read later
      "    Count = 3\n"
      "    object B: TSample\n"
      "      Mode = mdOn\n"
      "    end\n"
      "  end\n"
      "  object C: TSample\n"
      "  end\n"
      "end\n",
      form);
  TSample* a = form.Child("A");
  TSample* b = form.Child("B");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->loadedCalls, 1);
  EXPECT_EQ(b->loadedCalls, 1);
  EXPECT_EQ(form.loadedCalls, 1);
  EXPECT_EQ(a->peerAtLoaded, b);  // references are resolved before any Loaded
  EXPECT_FALSE(a->setOutsideLoading);
  EXPECT_FALSE(b->setOutsideLoading);
  EXPECT_FALSE(form.Loading());
  EXPECT_FALSE(a->Loading());
  EXPECT_EQ(b->StreamParent(), a);
  EXPECT_EQ(b->Owner(), &form);
  EXPECT_EQ(TSample::loadOrder(), (std::vector<std::string>{"A", "B", "C", "F"}));
}

TEST_F(StreamingTest, reads_the_classic_text_forms) {
  TSampleForm form;
  ReadComponentText(
      "object F: TSampleForm\n"
      "  object A: TSample\n"
      "    title = 'ab' +\n"
      "      'cd'#13#10'e'\n"
      "    Letter = #17\n"
      "    Shade = $00FF0080\n"
      "    Count = $7F\n"
      "    Flag = false\n"
      "    OnPing = ping\n"
      "    Opts = []\n"
      "    Items.Strings = (\n"
      "      'one'\n"
      "      'two')\n"
      "  end\n"
      "end\n",
      form);
  TSample* a = form.Child("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Title(), "abcd\r\ne");
  EXPECT_EQ(a->Letter(), '\x11');
  EXPECT_EQ(a->Shade(), 0x00FF0080u);
  EXPECT_EQ(a->Count(), 127);
  EXPECT_FALSE(a->Flag());
  EXPECT_EQ(a->Items().Items(), (std::vector<std::string>{"one", "two"}));
  int answer = 0;
  a->OnPing()(a, answer);
  EXPECT_EQ(answer, 42);
}

struct BadText {
  const char* name;
  const char* body;  // inside "object F: TSampleForm" ... "end"
  const char* message;
};

class StreamingErrorTest : public ::testing::TestWithParam<BadText> {
 protected:
  void SetUp() override { RegisterSampleClasses(); }
};

TEST_P(StreamingErrorTest, fails_with_the_line_and_leaves_nothing_half_read) {
  TSampleForm form;
  const std::string text =
      std::string("object F: TSampleForm\n  object A: TSample\n  end\n") + GetParam().body + "end\n";
  try {
    ReadComponentText(text, form);
    FAIL() << "no error for " << GetParam().name;
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), GetParam().message);
  }
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_FALSE(form.Loading());
  EXPECT_EQ(form.loadedCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StreamingErrorTest,
    ::testing::Values(
        BadText{"unknown_property", "  object B: TSample\n    Colour = 1\n  end\n",
                "Line 5: B.Colour: Property Colour does not exist"},
        BadText{"unknown_class", "  object B: TNothing\n  end\n", "Line 4: Class TNothing not found"},
        BadText{"sub_object_class_is_not_creatable", "  object B: TSampleSub\n  end\n",
                "Line 4: Class TSampleSub not found"},
        BadText{"enum_member", "  object B: TSample\n    Mode = brOn\n  end\n",
                "Line 5: B.Mode: Invalid property value"},
        BadText{"integer_out_of_range", "  object B: TSample\n    Count = 40000\n  end\n",
                "Line 5: B.Count: Value out of range"},
        BadText{"set_member", "  object B: TSample\n    Opts = [opA, opX]\n  end\n",
                "Line 5: B.Opts: Invalid set member"},
        BadText{"string_for_integer", "  object B: TSample\n    Count = '1'\n  end\n",
                "Line 5: B.Count: Invalid property value"},
        BadText{"read_only", "  object B: TSample\n    About = 'x'\n  end\n",
                "Line 5: B.About: Property is read-only"},
        BadText{"unresolved_reference", "  object B: TSample\n    Peer = Nobody\n  end\n",
                "Line 5: B.Peer: Component Nobody not found"},
        BadText{"reference_of_wrong_class", "  object B: TSample\n    Peer = F\n  end\n",
                "Line 5: B.Peer: Component F is of the wrong class"},
        BadText{"missing_method", "  object B: TSample\n    OnPing = Pong\n  end\n",
                "Line 5: B.OnPing: Method Pong not found"},
        BadText{"method_of_wrong_type", "  object B: TSample\n    OnPing = Tick\n  end\n",
                "Line 5: B.OnPing: Method Tick does not fit"},
        BadText{"duplicate_name", "  object A: TSample\n  end\n",
                "Line 4: A component named A already exists"},
        BadText{"unterminated_string", "  object B: TSample\n    Title = 'abc\n  end\n",
                "Line 5: Unterminated string"},
        BadText{"character_code_too_big", "  object B: TSample\n    Title = #256\n  end\n",
                "Line 5: Character code out of range"},
        BadText{"missing_end", "  object B: TSample\n", "Line 6: 'end' expected"}),
    [](const ::testing::TestParamInfo<BadText>& info) { return info.param.name; });

TEST_F(StreamingTest, registering_again_adds_nothing) {
  const size_t before = FindClassInfo("TSample")->Properties().size();
  RegisterSampleClasses();
  EXPECT_EQ(FindClassInfo("TSample")->Properties().size(), before);
}

TEST_F(StreamingTest, timer_streams_its_interval_and_handler) {
  TSampleForm form;
  ReadComponentText(
      "object F: TSampleForm\n"
      "  object Timer1: TTimer\n"
      "    Enabled = False\n"
      "    Interval = 250\n"
      "    OnTimer = Tick\n"
      "  end\n"
      "end\n",
      form);
  auto* timer = dynamic_cast<TTimer*>(form.FindComponent("Timer1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 250u);
  EXPECT_EQ(timer->OnTimer(), Method<&TSampleForm::Tick>(&form));
}

}  // namespace
}  // namespace fw
