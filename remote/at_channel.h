#pragma once
// The WiFi access point's AT-command channel (UDP 13769): one text command per datagram,
// one text reply. Commands (a trailing CR/LF is ignored, case matters):
//   AT+GETVER      "+VER:<application version>\r\nOK\r\n"
//   AT+CHECKDATA   "+CHECKDATA:<pid>,<ip>,<tcp port>,<wifi 0 off|1 on>\r\nOK\r\n"
//   AT+SETDATA=1   switch the access point on (image 0x306 := 0)        "OK\r\n"
//   AT+SETDATA=2   switch the access point off (image 0x306 := 1)       "OK\r\n"
//                  (SETDATA=1/2 and RESTORE answer once the parameter file holds the change,
//                  at most 5 s later; "ERROR\r\n" when it could not be stored)
//   AT+SETDATA=3   restart the access point                             "OK\r\n"
//   AT+RST         restart the device (the front panel's tick reboots)  "OK\r\n"
//   AT+RESTORE     restore the factory parameters (image 0x300..0xFFF)  "OK\r\n"
//   any other "AT..." datagram  "ERROR\r\n"
// A datagram that does not begin with "AT" (a reply, this device's or another's) gets none.
#include <string>

namespace remote {

// The reply to one datagram; empty: send nothing.
std::string at_reply(const std::string& request);

}  // namespace remote
