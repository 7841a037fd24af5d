// TComPort's published properties for form streaming, in their published order, with their
// defaults and stored rules; and the sub-objects' fields. A property equal to its default is
// not written; CustomBaudRate is written only while BaudRate is brCustom; About and
// ModemStatus are never written. Active read from a form only takes effect at Loaded.
#include <string>
#include <vector>

#include "comport/comport.h"
#include "framework/streaming.h"

namespace comport {

namespace {

const std::vector<std::string> kBaudRateNames = {
    "brDefault", "br50",    "br75",     "br110",    "br134_5",  "br150",   "br300",
    "br600",     "br1200",  "br1800",   "br2000",   "br2400",   "br3600",  "br4800",
    "br7200",    "br9600",  "br10400",  "br14400",  "br15625",  "br19200", "br28800",
    "br38400",   "br56000", "br57600",  "br115200", "br128000", "br256000", "brCustom"};
const std::vector<std::string> kDataBitsNames = {"dbDefault", "db4", "db5", "db6", "db7",
                                                 "db8",       "db9", "db16", "db16x"};
const std::vector<std::string> kParityNames = {"paDefault", "paNone", "paOdd",
                                               "paEven",    "paMark", "paSpace"};
const std::vector<std::string> kStopBitsNames = {"sbDefault", "sb1", "sb1_5", "sb2"};
const std::vector<std::string> kOptionNames = {
    "opCheckParity",      "opOutputCTSFlow", "opOutputDSRFlow",    "opDSRSensitivity",
    "opTXContinueOnXOff", "opUseErrorChar",  "opDiscardNullBytes", "opAbortOnError"};
const std::vector<std::string> kDTRNames = {"dcDefault", "dcDisable", "dcEnable", "dcHandshake"};
const std::vector<std::string> kRTSNames = {"rcDefault", "rcDisable", "rcEnable", "rcHandshake",
                                            "rcToggle"};
const std::vector<std::string> kXOnXOffNames = {"xcDefault", "xcDisable", "xcInput", "xcOutput",
                                                "xcInputOutput"};
const std::vector<std::string> kPriorityClassNames = {"pcDefault", "pcIdle", "pcNormal",
                                                      "pcHigh", "pcRealTime"};
const std::vector<std::string> kThreadPriorityNames = {
    "tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"};
const std::vector<std::string> kModemStatusNames = {"msCTS", "msDSR", "msRing", "msRLSD"};

void RegisterSubObjects() {
  fw::RegisterSubObject<TFlowControl>("TFlowControl")
      .Enumeration("DTR", kDTRNames, &TFlowControl::DTR, &TFlowControl::SetDTRControl, dcDefault)
      .Enumeration("RTS", kRTSNames, &TFlowControl::RTS, &TFlowControl::SetRTSControl, rcDefault)
      .Enumeration("XOnXOff", kXOnXOffNames, &TFlowControl::XOnXOff,
                   &TFlowControl::SetXOnXOffControl, xcDefault)
      .Integer("XOnLimit", &TFlowControl::XOnLimit, &TFlowControl::SetXOnLimit, 0)
      .Integer("XOffLimit", &TFlowControl::XOffLimit, &TFlowControl::SetXOffLimit, 0);
  fw::RegisterSubObject<TCharacters>("TCharacters")
      .Char("XOn", &TCharacters::XOn, &TCharacters::SetXOn, char(17))
      .Char("XOff", &TCharacters::XOff, &TCharacters::SetXOff, char(19))
      .Char("Error", &TCharacters::Error, &TCharacters::SetError, char(0))
      .Char("Eof", &TCharacters::Eof, &TCharacters::SetEof, char(0))
      .Char("Event", &TCharacters::Event, &TCharacters::SetEvent, char(0));
  fw::RegisterSubObject<TBufferSizes>("TBufferSizes")
      .Integer("Input", &TBufferSizes::Input, &TBufferSizes::SetInput, 4096)
      .Integer("Output", &TBufferSizes::Output, &TBufferSizes::SetOutput, 2048);
  fw::RegisterSubObject<TTimeouts>("TTimeouts")
      .Integer("ReadInterval", &TTimeouts::ReadInterval, &TTimeouts::SetReadInterval, 0)
      .Integer("ReadMultiplier", &TTimeouts::ReadMultiplier, &TTimeouts::SetReadMultiplier, 0)
      .Integer("ReadConstant", &TTimeouts::ReadConstant, &TTimeouts::SetReadConstant, 0)
      .Integer("WriteMultiplier", &TTimeouts::WriteMultiplier, &TTimeouts::SetWriteMultiplier,
               0)
      .Integer("WriteConstant", &TTimeouts::WriteConstant, &TTimeouts::SetWriteConstant, 0);
}

void RegisterPort() {
  using P = TComPort;
  fw::RegisterComponentClass<P>("TComPort", "TComponent")
      .Text("About", [](P&) { return std::string(P::About()); },
            [](P&, const std::string&) {})
      .NeverStored()
      .Boolean("Active", &P::Active, &P::SetActive)
      .Enumeration("BaudRate", kBaudRateNames, &P::BaudRate, &P::SetBaudRate, brDefault)
      .Object("BufferSizes", [](P& p) { return &p.BufferSizes(); }, "TBufferSizes")
      .Object("Characters", [](P& p) { return &p.Characters(); }, "TCharacters")
      .Integer("CustomBaudRate", &P::GetCustomBaudRate, &P::SetCustomBaudRate)
      .StoredWhen(&P::StoreCustomBaudRate)
      .Enumeration("DataBits", kDataBitsNames, &P::DataBits, &P::SetDataBits, dbDefault)
      .Text("DeviceName", &P::DeviceName, &P::SetDeviceName, std::string())
      .Object("FlowControl", [](P& p) { return &p.FlowControl(); }, "TFlowControl")
      .Text("LogFile", &P::LogFile, &P::SetLogFile, std::string())
      .Set("ModemStatus", kModemStatusNames, [](P& p) { return p.ModemStatus(); }, nullptr)
      .NeverStored()
      .Set("Options", kOptionNames, &P::Options, &P::SetOptions)
      .Enumeration("Parity", kParityNames, &P::Parity, &P::SetParity, paDefault)
      .Enumeration("PriorityClass", kPriorityClassNames, &P::PriorityClass,
                   &P::SetPriorityClass, pcDefault)
      .Enumeration("StopBits", kStopBitsNames, &P::StopBits, &P::SetStopBits, sbDefault)
      .Boolean("SynchronizeEvents", &P::SynchronizeEvents, &P::SetSynchronizeEvents, true)
      .Enumeration("ThreadPriority", kThreadPriorityNames, &P::ThreadPriority,
                   &P::SetThreadPriority, tpTimeCritical)
      .Object("Timeouts", [](P& p) { return &p.Timeouts(); }, "TTimeouts")
      .Event("AfterClose", &P::AfterClose, &P::SetAfterClose)
      .Event("AfterOpen", &P::AfterOpen, &P::SetAfterOpen)
      .Event("AfterRead", &P::AfterRead, &P::SetAfterRead)
      .Event("AfterWrite", &P::AfterWrite, &P::SetAfterWrite)
      .Event("BeforeClose", &P::BeforeClose, &P::SetBeforeClose)
      .Event("BeforeOpen", &P::BeforeOpen, &P::SetBeforeOpen)
      .Event("BeforeRead", &P::BeforeRead, &P::SetBeforeRead)
      .Event("BeforeWrite", &P::BeforeWrite, &P::SetBeforeWrite)
      .Event("OnBreak", &P::OnBreak, &P::SetOnBreak)
      .Event("OnCTSChange", &P::OnCTSChange, &P::SetOnCTSChange)
      .Event("OnDSRChange", &P::OnDSRChange, &P::SetOnDSRChange)
      .Event("OnError", &P::OnError, &P::SetOnError)
      .Event("OnEvent1", &P::OnEvent1, &P::SetOnEvent1)
      .Event("OnEvent2", &P::OnEvent2, &P::SetOnEvent2)
      .Event("OnLineError", &P::OnLineError, &P::SetOnLineError)
      .Event("OnPrinterError", &P::OnPrinterError, &P::SetOnPrinterError)
      .Event("OnRing", &P::OnRing, &P::SetOnRing)
      .Event("OnRLSDChange", &P::OnRLSDChange, &P::SetOnRLSDChange)
      .Event("OnRx80PercFull", &P::OnRx80PercFull, &P::SetOnRx80PercFull)
      .Event("OnRxChar", &P::OnRxChar, &P::SetOnRxChar)
      .Event("OnRxFlag", &P::OnRxFlag, &P::SetOnRxFlag)
      .Event("OnTxEmpty", &P::OnTxEmpty, &P::SetOnTxEmpty)
      .Event("OnDeviceArrival", &P::OnDeviceArrival, &P::SetOnDeviceArrival)
      .Event("OnDeviceRemoved", &P::OnDeviceRemoved, &P::SetOnDeviceRemoved);
}

}  // namespace

void RegisterComPortClasses() {
  static const bool registered = [] {
    RegisterSubObjects();
    RegisterPort();
    return true;
  }();
  (void)registered;
}

TComPort::TComPort(fw::TComponent* owner, plat::Platform& platform)
    : TCustomComPort(owner, platform) {
  RegisterComPortClasses();
}

const char* TComPort::About() { return "TComPort 1.0"; }

}  // namespace comport
