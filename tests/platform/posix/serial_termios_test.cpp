// DCB <-> termios2 translation, from tables.
#include "platform/posix/serial_termios.h"

#include <gtest/gtest.h>

#include <string>

namespace plat::posix {
namespace {

DCB Line(DWORD rate, BYTE size, BYTE parity, BYTE stop) {
  DCB dcb = DefaultDcb();
  dcb.BaudRate = rate;
  dcb.ByteSize = size;
  dcb.Parity = parity;
  dcb.StopBits = stop;
  return dcb;
}

// A termios as a fresh tty has it: cooked, echoing, 38400.
KernelTermios Cooked() {
  KernelTermios t{};
  t.c_iflag = ICRNL | IXON | IMAXBEL;
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = B38400 | CS8 | CREAD | HUPCL;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_ospeed = t.c_ispeed = 38400;
  return t;
}

struct LineCase {
  DCB dcb;
  tcflag_t cflagBits;  // expected among CSIZE|PARENB|PARODD|CMSPAR|CSTOPB
  unsigned int speedCode;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.dcb.BaudRate << " baud, " << int{c.dcb.ByteSize} << " bits, parity " << int{c.dcb.Parity}
      << ", stop " << int{c.dcb.StopBits};
}

class DcbLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DcbLines, maps_to_termios_and_back) {
  const LineCase& c = GetParam();
  KernelTermios t = Cooked();
  ASSERT_EQ(DcbToTermios(c.dcb, t), ERROR_SUCCESS);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.cflagBits);
  EXPECT_EQ(t.c_cflag & CBAUD, c.speedCode);
  EXPECT_EQ(t.c_ospeed, c.dcb.BaudRate);
  EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input speed must follow the output speed";

  DCB back = DefaultDcb();
  TermiosToDcb(t, back);
  EXPECT_EQ(back.BaudRate, c.dcb.BaudRate);
  EXPECT_EQ(back.ByteSize, c.dcb.ByteSize);
  EXPECT_EQ(back.Parity, c.dcb.Parity);
  EXPECT_EQ(back.StopBits, c.dcb.StopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DcbLines,
    ::testing::Values(LineCase{Line(9600, 8, NOPARITY, ONESTOPBIT), CS8, B9600},
                      LineCase{Line(19200, 7, EVENPARITY, TWOSTOPBITS), CS7 | PARENB | CSTOPB, B19200},
                      LineCase{Line(1200, 6, ODDPARITY, ONESTOPBIT), CS6 | PARENB | PARODD, B1200},
                      LineCase{Line(115200, 8, MARKPARITY, ONESTOPBIT), CS8 | PARENB | PARODD | CMSPAR, B115200},
                      LineCase{Line(57600, 8, SPACEPARITY, ONESTOPBIT), CS8 | PARENB | CMSPAR, B57600},
                      LineCase{Line(300, 5, NOPARITY, ONE5STOPBITS), CS5 | CSTOPB, B300},
                      LineCase{Line(250000, 8, NOPARITY, ONESTOPBIT), CS8, BOTHER},
                      LineCase{Line(10400, 8, EVENPARITY, ONESTOPBIT), CS8 | PARENB, BOTHER}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
      const DCB& d = info.param.dcb;
      return std::to_string(d.BaudRate) + "_" + std::to_string(d.ByteSize) + "NOEMS"[d.Parity] +
             "1H2"[d.StopBits];
    });

TEST(DcbToTermios, flow_control_and_characters) {
  struct Case {
    const char* what;
    void (*set)(DCB&);
    tcflag_t iflag;  // among IXON|IXOFF|INPCK
    bool rtscts;
  } cases[] = {
      {"none", [](DCB&) {}, 0, false},
      {"xon/xoff out", [](DCB& d) { d.fOutX = 1; }, IXON, false},
      {"xon/xoff in", [](DCB& d) { d.fInX = 1; }, IXOFF, false},
      {"cts out", [](DCB& d) { d.fOutxCtsFlow = 1; }, 0, true},
      {"rts handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, 0, true},
      {"parity check", [](DCB& d) { d.fParity = 1; d.Parity = EVENPARITY; }, INPCK, false},
  };
  for (const Case& c : cases) {
    DCB dcb = DefaultDcb();
    c.set(dcb);
    dcb.XonChar = 0x21;
    dcb.XoffChar = 0x23;
    KernelTermios t = Cooked();
    ASSERT_EQ(DcbToTermios(dcb, t), ERROR_SUCCESS) << c.what;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), c.iflag) << c.what;
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.rtscts) << c.what;
    EXPECT_EQ(t.c_cc[VSTART], 0x21) << c.what;
    EXPECT_EQ(t.c_cc[VSTOP], 0x23) << c.what;

    DCB back = dcb;
    TermiosToDcb(t, back);
    EXPECT_EQ(back.fOutX, dcb.fOutX) << c.what;
    EXPECT_EQ(back.fInX, dcb.fInX) << c.what;
    EXPECT_EQ(back.fParity, dcb.fParity) << c.what;
    EXPECT_EQ(back.fOutxCtsFlow, dcb.fOutxCtsFlow) << c.what;
    EXPECT_EQ(back.fRtsControl, dcb.fRtsControl) << c.what;
  }
}

TEST(DcbToTermios, refuses_what_win32_refuses_and_leaves_the_termios_alone) {
  struct Case {
    const char* what;
    void (*set)(DCB&);
  } cases[] = {
      {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
      {"16 data bits", [](DCB& d) { d.ByteSize = 16; }},
      {"parity 5", [](DCB& d) { d.Parity = 5; }},
      {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
      {"1.5 stop bits with 8 data bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
      {"2 stop bits with 5 data bits", [](DCB& d) { d.ByteSize = 5; d.StopBits = TWOSTOPBITS; }},
      {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }},
      {"XON equals XOFF with flow control", [](DCB& d) { d.fOutX = 1; d.XoffChar = d.XonChar; }},
  };
  for (const Case& c : cases) {
    DCB dcb = DefaultDcb();
    c.set(dcb);
    KernelTermios t = Cooked();
    const KernelTermios before = t;
    EXPECT_EQ(DcbToTermios(dcb, t), ERROR_INVALID_PARAMETER) << c.what;
    EXPECT_EQ(t.c_cflag, before.c_cflag) << c.what;
    EXPECT_EQ(t.c_lflag, before.c_lflag) << c.what;
  }
  DCB same = DefaultDcb();
  same.XoffChar = same.XonChar;  // harmless without XON/XOFF flow control
  KernelTermios t = Cooked();
  EXPECT_EQ(DcbToTermios(same, t), ERROR_SUCCESS);
}

TEST(SameLineSettings, catches_a_driver_falling_back) {
  KernelTermios wanted = Cooked();
  ASSERT_EQ(DcbToTermios(Line(250000, 8, MARKPARITY, ONESTOPBIT), wanted), ERROR_SUCCESS);
  struct Case {
    const char* what;
    void (*change)(KernelTermios&);
    bool same;
  } cases[] = {
      {"unchanged", [](KernelTermios&) {}, true},
      {"rate off by 1 percent", [](KernelTermios& t) { t.c_ospeed = 252500; }, true},
      {"fell back to 9600", [](KernelTermios& t) { t.c_cflag = (t.c_cflag & ~CBAUD) | B9600; t.c_ospeed = 9600; }, false},
      {"stick parity dropped", [](KernelTermios& t) { t.c_cflag &= ~CMSPAR; }, false},
      {"character size changed", [](KernelTermios& t) { t.c_cflag = (t.c_cflag & ~CSIZE) | CS7; }, false},
  };
  for (const Case& c : cases) {
    KernelTermios got = wanted;
    c.change(got);
    EXPECT_EQ(SameLineSettings(wanted, got), c.same) << c.what;
  }
}

}  // namespace
}  // namespace plat::posix
