// How indicators take over the port's handlers and give them back: for every signal kind, and
// for several indicators on one port that go away in any order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>

#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Log;
using testing::Recorder;
using P = TCustomComPort;
using Holder = std::pair<const void*, void*>;  // a handler's object and code

struct NotifySlot {
  TNotifyEvent (P::*get)() const;
  void (P::*set)(TNotifyEvent);
};
const std::map<std::string, NotifySlot> kNotifySlots = {
    {"OnBreak", {&P::OnBreak, &P::SetOnBreak}},
    {"OnCTSChange", {&P::OnCTSChange, &P::SetOnCTSChange}},
    {"OnDSRChange", {&P::OnDSRChange, &P::SetOnDSRChange}},
    {"OnEvent1", {&P::OnEvent1, &P::SetOnEvent1}},
    {"OnEvent2", {&P::OnEvent2, &P::SetOnEvent2}},
    {"OnPrinterError", {&P::OnPrinterError, &P::SetOnPrinterError}},
    {"OnRing", {&P::OnRing, &P::SetOnRing}},
    {"OnRLSDChange", {&P::OnRLSDChange, &P::SetOnRLSDChange}},
    {"OnRx80PercFull", {&P::OnRx80PercFull, &P::SetOnRx80PercFull}},
    {"OnRxChar", {&P::OnRxChar, &P::SetOnRxChar}},
    {"OnRxFlag", {&P::OnRxFlag, &P::SetOnRxFlag}},
    {"OnTxEmpty", {&P::OnTxEmpty, &P::SetOnTxEmpty}}};

// Who holds each slot an indicator may take over, by name.
std::map<std::string, Holder> Holders(const P& p) {
  auto id = [](const auto& h) { return Holder(h.Object(), reinterpret_cast<void*>(h.Code())); };
  std::map<std::string, Holder> slots{{"AfterOpen", id(p.AfterOpen())},
                                      {"AfterClose", id(p.AfterClose())},
                                      {"BeforeWrite", id(p.BeforeWrite())},
                                      {"AfterWrite", id(p.AfterWrite())},
                                      {"OnLineError", id(p.OnLineError())}};
  for (const auto& [name, slot] : kNotifySlots) slots[name] = id((p.*slot.get)());
  return slots;
}

TEST_F(IndicatorTest, every_kind_takes_over_its_events_calls_them_on_and_gives_them_back) {
  P* p = port;  // (->* on a data member trips GCC 12's sanitizer)
  p->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  for (const auto& [name, slot] : kNotifySlots) {
    (p->*slot.set)(fw::Method<&Recorder::Notify>(&recorder));
  }
  const auto original = Holders(*p);
  const std::pair<TSignal, std::vector<std::string>> kinds[] = {
      {siNone, {}},
      {siBreak, {"OnBreak"}},
      {siRxChar, {"OnRxChar"}},
      {siTxChar, {"AfterWrite", "BeforeWrite"}},
      {siCTS, {"OnCTSChange"}},
      {siDSR, {"OnDSRChange"}},
      {siEvent1, {"OnEvent1"}},
      {siEvent2, {"OnEvent2"}},
      {siLineError, {"OnLineError"}},
      {siPrinterError, {"OnPrinterError"}},
      {siRing, {"OnRing"}},
      {siRLSD, {"OnRLSDChange"}},
      {siRx80PercFull, {"OnRx80PercFull"}},
      {siRxFlag, {"OnRxFlag"}},
      {siTxEmpty, {"OnTxEmpty"}}};
  Recorder stranger;
  for (const auto& [signal, taken] : kinds) {
    SCOPED_TRACE(int{signal});
    TComSignal* x = AddIndicator("X", signal);
    std::vector<std::string> changed, expected = taken;
    for (const auto& [name, holder] : Holders(*p)) {
      if (holder != original.at(name)) changed.push_back(name);
    }
    expected.insert(expected.end(), {"AfterClose", "AfterOpen"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(changed, expected);

    // An AfterOpen somebody installed after the indicator stays; everything else comes back.
    p->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&stranger));
    fw::TComponent::Free(x);
    EXPECT_EQ(p->AfterOpen(), fw::Method<&Recorder::AfterOpen>(&stranger));
    p->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
    EXPECT_EQ(Holders(*p), original);
  }
}

TEST_F(IndicatorTest, indicators_leaving_in_any_order_never_break_the_chain) {
  port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  port->SetOnDSRChange(fw::Method<&Recorder::Notify>(&recorder));
  const auto original = Holders(*port);
  port->Open();
  std::array<int, 3> order{0, 1, 2};
  do {
    SCOPED_TRACE(::testing::Message() << order[0] << order[1] << order[2]);
    const std::array<std::string, 3> names{"A", "B", "C"};
    std::array<TComSignal*, 3> indicators{};
    device.SetDSR(false);
    for (int i = 0; i < 3; ++i) indicators[i] = AddIndicator(names[i], siDSR);
    recorder.Take();
    for (int gone : order) {
      fw::TComponent::Free(indicators[gone]);
      indicators[gone] = nullptr;
      Log on, off;  // those left run latest-attached first, then the owner's handler
      for (int i = 2; i >= 0; --i) {
        if (indicators[i] == nullptr) continue;
        on.push_back(names[i] + " on");
        off.push_back(names[i] + " off");
      }
      on.push_back("owner AfterOpen");
      off.push_back("owner Notify");
      device.SetDSR(true);
      port->AfterOpen()(port);
      device.SetDSR(false);
      port->OnDSRChange()(port);
      on.insert(on.end(), off.begin(), off.end());
      EXPECT_EQ(recorder.Take(), on);
    }
    EXPECT_EQ(Holders(*port), original);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(IndicatorTest, two_indicators_on_one_line_and_a_signal_changed_while_attached) {
  TComSignal* first = AddIndicator("first", siDSR);
  TComSignal* second = AddIndicator("second", siDSR);
  port->Open();
  device.SetDSR(true);
  Pump(5);
  second->SetSignal(siCTS);  // its DSR handler leaves, a CTS handler comes
  device.SetDSR(false);
  Pump(5);
  device.SetCTS(true);
  Pump(5);
  device.SetCTS(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), (Log{"second on", "first on", "first off", "second off"}));
  fw::TComponent::Free(second);
  fw::TComponent::Free(first);
  EXPECT_FALSE(port->OnDSRChange() || port->OnCTSChange() || port->AfterOpen());
  EXPECT_FALSE(port->HasEventThread());
}

}  // namespace
}  // namespace comport
