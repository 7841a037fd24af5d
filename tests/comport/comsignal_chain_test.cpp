// How indicators take over the port's handlers and give them back: for every signal kind, and
// for several indicators on one port that go away in any order.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/comport/comsignal_testing.h"

namespace comport {
namespace {

using testing::IndicatorTest;
using testing::Recorder;
using Log = std::vector<std::string>;

// Every handler slot an indicator may take over, as (object, code), by name.
using Slots = std::map<std::string, std::pair<const void*, std::uintptr_t>>;

template <class H>
std::pair<const void*, std::uintptr_t> Id(const H& handler) {
  return {handler.Object(), reinterpret_cast<std::uintptr_t>(handler.Code())};
}

Slots Snapshot(const TCustomComPort& p) {
  return {
      {"AfterOpen", Id(p.AfterOpen())},       {"AfterClose", Id(p.AfterClose())},
      {"BeforeWrite", Id(p.BeforeWrite())},   {"AfterWrite", Id(p.AfterWrite())},
      {"OnBreak", Id(p.OnBreak())},           {"OnCTSChange", Id(p.OnCTSChange())},
      {"OnDSRChange", Id(p.OnDSRChange())},   {"OnEvent1", Id(p.OnEvent1())},
      {"OnEvent2", Id(p.OnEvent2())},         {"OnLineError", Id(p.OnLineError())},
      {"OnPrinterError", Id(p.OnPrinterError())}, {"OnRing", Id(p.OnRing())},
      {"OnRLSDChange", Id(p.OnRLSDChange())}, {"OnRx80PercFull", Id(p.OnRx80PercFull())},
      {"OnRxChar", Id(p.OnRxChar())},         {"OnRxFlag", Id(p.OnRxFlag())},
      {"OnTxEmpty", Id(p.OnTxEmpty())},
  };
}

// The slots whose holder differs between two snapshots.
std::vector<std::string> Changed(const Slots& before, const Slots& after) {
  std::vector<std::string> names;
  for (const auto& [name, id] : before) {
    if (after.at(name) != id) names.push_back(name);
  }
  return names;
}

// Gives every slot a handler of r (the port's owner's own handlers).
void AssignAll(TCustomComPort& p, Recorder& r) {
  p.SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&r));
  p.SetAfterClose(fw::Method<&Recorder::AfterClose>(&r));
  p.SetBeforeWrite(fw::Method<&Recorder::BeforeWrite>(&r));
  p.SetAfterWrite(fw::Method<&Recorder::AfterWrite>(&r));
  const TNotifyEvent notify = fw::Method<&Recorder::Notify>(&r);
  for (auto setter : {&TCustomComPort::SetOnBreak, &TCustomComPort::SetOnCTSChange,
                      &TCustomComPort::SetOnDSRChange, &TCustomComPort::SetOnEvent1,
                      &TCustomComPort::SetOnEvent2, &TCustomComPort::SetOnPrinterError,
                      &TCustomComPort::SetOnRing, &TCustomComPort::SetOnRLSDChange,
                      &TCustomComPort::SetOnRx80PercFull, &TCustomComPort::SetOnRxChar,
                      &TCustomComPort::SetOnRxFlag, &TCustomComPort::SetOnTxEmpty}) {
    (p.*setter)(nullptr);  // the port ignores the same method bound to another object
    (p.*setter)(notify);
  }
  p.SetOnLineError(nullptr);
  p.SetOnLineError(fw::Method<&Recorder::LineError>(&r));
}

struct KindCase {
  TSignal signal;
  const char* name;
  std::vector<std::string> takenOver;  // besides AfterOpen and AfterClose
  std::function<void(TCustomComPort&)> raise;
  Log expected;  // what raising the event does (the port is closed)
};

const char kData[] = "abc";

std::vector<KindCase> Kinds() {
  auto notify = [](TNotifyEvent (TCustomComPort::*get)() const) {
    return [get](TCustomComPort& p) { (p.*get)()(&p); };
  };
  const Log pulse{"X on", "owner Notify"};
  const Log level{"owner Notify"};  // a closed port: the level stays off
  return {
      {siNone, "None", {}, [](TCustomComPort&) {}, {}},
      {siBreak, "Break", {"OnBreak"}, notify(&TCustomComPort::OnBreak), pulse},
      {siRxChar, "RxChar", {"OnRxChar"}, notify(&TCustomComPort::OnRxChar), pulse},
      {siTxChar, "TxChar", {"BeforeWrite", "AfterWrite"},
       [](TCustomComPort& p) {
         p.BeforeWrite()(&p, kData, 3, true);
         p.AfterWrite()(&p, kData, 3, true);
       },
       {"X on", "owner BeforeWrite 3", "owner AfterWrite 3"}},
      {siCTS, "CTS", {"OnCTSChange"}, notify(&TCustomComPort::OnCTSChange), level},
      {siDSR, "DSR", {"OnDSRChange"}, notify(&TCustomComPort::OnDSRChange), level},
      {siEvent1, "Event1", {"OnEvent1"}, notify(&TCustomComPort::OnEvent1), pulse},
      {siEvent2, "Event2", {"OnEvent2"}, notify(&TCustomComPort::OnEvent2), pulse},
      {siLineError, "LineError", {"OnLineError"},
       [](TCustomComPort& p) { p.OnLineError()(&p, TLineErrors{leFrame, leParity}); },
       {"X on", "owner LineError " + std::to_string(TLineErrors{leFrame, leParity}.ToBits())}},
      {siPrinterError, "PrinterError", {"OnPrinterError"},
       notify(&TCustomComPort::OnPrinterError), pulse},
      {siRing, "Ring", {"OnRing"}, notify(&TCustomComPort::OnRing), level},
      {siRLSD, "RLSD", {"OnRLSDChange"}, notify(&TCustomComPort::OnRLSDChange), level},
      {siRx80PercFull, "Rx80PercFull", {"OnRx80PercFull"},
       notify(&TCustomComPort::OnRx80PercFull), pulse},
      {siRxFlag, "RxFlag", {"OnRxFlag"}, notify(&TCustomComPort::OnRxFlag), pulse},
      {siTxEmpty, "TxEmpty", {"OnTxEmpty"}, notify(&TCustomComPort::OnTxEmpty), pulse},
  };
}

TEST_F(IndicatorTest, every_kind_takes_over_its_events_calls_them_on_and_gives_them_back) {
  AssignAll(*port, recorder);
  const Slots original = Snapshot(*port);
  for (const KindCase& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    TComSignal* indicator = AddIndicator("X", kind.signal);
    std::vector<std::string> taken = kind.takenOver;
    taken.push_back("AfterOpen");
    taken.push_back("AfterClose");
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(Changed(original, Snapshot(*port)), taken);

    // Own work first, then the port's previous handler, with the port as sender.
    recorder.senders.clear();
    kind.raise(*port);
    EXPECT_EQ(recorder.Take(), kind.expected);
    for (fw::TObject* sender : recorder.senders) EXPECT_EQ(sender, port);
    // Opening switches a lit pulse off before the owner hears of it.
    const bool lit = indicator->SignalValue();
    port->AfterOpen()(port);
    Log afterOpen;
    if (lit) afterOpen.push_back("X off");
    afterOpen.push_back("owner AfterOpen");
    EXPECT_EQ(recorder.Take(), afterOpen);

    fw::TComponent::Free(indicator);
    EXPECT_EQ(Snapshot(*port), original);
  }
}

TEST_F(IndicatorTest, a_handler_installed_after_the_indicator_stays_when_it_detaches) {
  AssignAll(*port, recorder);
  const Slots original = Snapshot(*port);
  Recorder stranger;
  for (const KindCase& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    TComSignal* indicator = AddIndicator("X", kind.signal);
    // Somebody else takes every slot the indicator holds.
    port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&stranger));
    port->SetOnDSRChange(nullptr);
    port->SetOnDSRChange(fw::Method<&Recorder::Notify>(&stranger));
    const Slots replaced = Snapshot(*port);
    fw::TComponent::Free(indicator);
    const Slots after = Snapshot(*port);
    EXPECT_EQ(after.at("AfterOpen"), replaced.at("AfterOpen"));
    EXPECT_EQ(after.at("OnDSRChange"), replaced.at("OnDSRChange"));
    // The rest is back as it was.
    EXPECT_EQ(after.at("AfterClose"), original.at("AfterClose"));
    for (const std::string& name : kind.takenOver) {
      if (name != "OnDSRChange") {
        EXPECT_EQ(after.at(name), original.at(name)) << name;
      }
    }
    AssignAll(*port, recorder);
  }
}

TEST_F(IndicatorTest, indicators_leaving_in_any_order_never_break_the_chain) {
  port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&recorder));
  port->SetOnDSRChange(fw::Method<&Recorder::Notify>(&recorder));
  const Slots original = Snapshot(*port);
  OpenPort();
  recorder.Take();
  std::array<int, 3> order{0, 1, 2};
  do {
    SCOPED_TRACE(::testing::Message() << order[0] << order[1] << order[2]);
    device.SetDSR(false);
    const std::array<std::string, 3> names{"A", "B", "C"};
    std::array<TComSignal*, 3> indicators{};
    for (int i = 0; i < 3; ++i) indicators[i] = AddIndicator(names[i], siDSR);

    for (int gone = 0; gone < 3; ++gone) {
      fw::TComponent::Free(indicators[order[gone]]);
      indicators[order[gone]] = nullptr;
      // The ones left run latest-attached first, then the owner's handler.
      Log on, off;
      for (int i = 2; i >= 0; --i) {
        if (indicators[i] != nullptr) {
          on.push_back(names[i] + " on");
          off.push_back(names[i] + " off");
        }
      }
      on.push_back("owner AfterOpen");
      off.push_back("owner Notify");
      device.SetDSR(true);
      port->AfterOpen()(port);
      EXPECT_EQ(recorder.Take(), on);
      device.SetDSR(false);
      port->OnDSRChange()(port);
      EXPECT_EQ(recorder.Take(), off);
    }
    EXPECT_EQ(Snapshot(*port), original);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(IndicatorTest, changing_the_signal_while_attached_moves_the_handler) {
  port->SetOnDSRChange(fw::Method<&Recorder::Notify>(&recorder));
  const Slots original = Snapshot(*port);
  TComSignal* indicator = AddIndicator("X", siDSR);
  indicator->SetSignal(siCTS);
  EXPECT_EQ(Changed(original, Snapshot(*port)),
            (std::vector<std::string>{"AfterClose", "AfterOpen", "OnCTSChange"}));

  device.SetCTS(true);
  OpenPort();
  EXPECT_EQ(recorder.Take(), Log{"X on"});
  device.SetCTS(false);
  Pump(5);
  EXPECT_EQ(recorder.Take(), Log{"X off"});

  indicator->SetComPort(nullptr);
  EXPECT_EQ(Snapshot(*port), original);
}

}  // namespace
}  // namespace comport
