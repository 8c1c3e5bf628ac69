// WinSock error codes and texts.
//
// The link reports failures with the error numbers and texts of the original socket library,
// which the status lines, the window and the link manager's decisions rely on (10035 "would
// block" is not a failure, 10061 is a refused connection, ...). POSIX errno values are mapped
// onto them in one place.
#pragma once

#include <string>

namespace tarvel::link {

inline constexpr int kWsaInterrupted = 10004;
inline constexpr int kWsaInvalidArgument = 10022;
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaNotConnected = 10057;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnectionRefused = 10061;
inline constexpr int kWsaConnectionReset = 10054;
inline constexpr int kWsaHostNotFound = 11001;

// The WinSock code for a POSIX errno (EAGAIN -> 10035, ECONNREFUSED -> 10061, ...). An errno
// without a counterpart becomes 20000 + errno, which SocketErrorText calls "Not a WinSock error".
int WinSockCodeFromErrno(int err);

// The fixed text of a WinSock code; "Not a WinSock error" for any other number.
std::string SocketErrorText(int code);

}  // namespace tarvel::link
