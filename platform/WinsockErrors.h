#pragma once
// Socket failures are reported with the Windows Sockets error numbers, because
// the job log's texts and the users' habits are keyed by them.
#include <string>

namespace platform::wsa {

constexpr int kInterrupted = 10004;              // WSAEINTR
constexpr int kBadHandle = 10009;                // WSAEBADF
constexpr int kAccessDenied = 10013;             // WSAEACCES
constexpr int kBadAddress = 10014;               // WSAEFAULT
constexpr int kInvalidArgument = 10022;          // WSAEINVAL
constexpr int kTooManySockets = 10024;           // WSAEMFILE
constexpr int kWouldBlock = 10035;               // WSAEWOULDBLOCK
constexpr int kInProgress = 10036;               // WSAEINPROGRESS
constexpr int kAlready = 10037;                  // WSAEALREADY
constexpr int kNotSocket = 10038;                // WSAENOTSOCK
constexpr int kDestinationRequired = 10039;      // WSAEDESTADDRREQ
constexpr int kMessageSize = 10040;              // WSAEMSGSIZE
constexpr int kWrongProtocol = 10041;            // WSAEPROTOTYPE
constexpr int kBadOption = 10042;                // WSAENOPROTOOPT
constexpr int kProtocolUnsupported = 10043;      // WSAEPROTONOSUPPORT
constexpr int kSocketTypeUnsupported = 10044;    // WSAESOCKTNOSUPPORT
constexpr int kNotSupported = 10045;             // WSAEOPNOTSUPP
constexpr int kFamilyUnsupported = 10046;        // WSAEPFNOSUPPORT
constexpr int kAddressFamilyUnsupported = 10047; // WSAEAFNOSUPPORT
constexpr int kAddressInUse = 10048;             // WSAEADDRINUSE
constexpr int kAddressNotAvailable = 10049;      // WSAEADDRNOTAVAIL
constexpr int kNetworkDown = 10050;              // WSAENETDOWN
constexpr int kNetworkUnreachable = 10051;       // WSAENETUNREACH
constexpr int kNetworkReset = 10052;             // WSAENETRESET
constexpr int kConnectionAborted = 10053;        // WSAECONNABORTED
constexpr int kConnectionReset = 10054;          // WSAECONNRESET
constexpr int kNoBuffers = 10055;                // WSAENOBUFS
constexpr int kAlreadyConnected = 10056;         // WSAEISCONN
constexpr int kNotConnected = 10057;             // WSAENOTCONN
constexpr int kShutDown = 10058;                 // WSAESHUTDOWN
constexpr int kTooManyReferences = 10059;        // WSAETOOMANYREFS
constexpr int kTimedOut = 10060;                 // WSAETIMEDOUT
constexpr int kConnectionRefused = 10061;        // WSAECONNREFUSED
constexpr int kLoop = 10062;                     // WSAELOOP
constexpr int kNameTooLong = 10063;              // WSAENAMETOOLONG
constexpr int kHostDown = 10064;                 // WSAEHOSTDOWN
constexpr int kHostUnreachable = 10065;          // WSAEHOSTUNREACH
constexpr int kNotEmpty = 10066;                 // WSAENOTEMPTY
constexpr int kTooManyProcesses = 10067;         // WSAEPROCLIM
constexpr int kTooManyUsers = 10068;             // WSAEUSERS
constexpr int kQuota = 10069;                    // WSAEDQUOT
constexpr int kStale = 10070;                    // WSAESTALE
constexpr int kRemote = 10071;                   // WSAEREMOTE
constexpr int kGracefulDisconnect = 10101;       // WSAEDISCON
constexpr int kSystemCallFailure = 10107;        // WSASYSCALLFAILURE
constexpr int kHostNotFound = 11001;             // WSAHOST_NOT_FOUND
constexpr int kTryAgain = 11002;                 // WSATRY_AGAIN
constexpr int kNoRecovery = 11003;               // WSANO_RECOVERY
constexpr int kNoData = 11004;                   // WSANO_DATA

// The Windows Sockets number for a POSIX errno value; errors without a
// counterpart become kSystemCallFailure.
int FromErrno(int err);

// Short English description for logs, e.g. "Connection refused".
std::string Describe(int code);

} // namespace platform::wsa
