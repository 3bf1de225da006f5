#include "platform/WinsockErrors.h"

#include <cerrno>

namespace platform::wsa {

namespace {

struct Entry {
    int err;
    int code;
};

// EAGAIN and EWOULDBLOCK are one value on Linux; EPIPE means the peer has
// gone, which Windows Sockets reports as a reset.
constexpr Entry kTable[] = {
    {EINTR, kInterrupted},
    {EBADF, kBadHandle},
    {EACCES, kAccessDenied},
    {EPERM, kAccessDenied},
    {EFAULT, kBadAddress},
    {EINVAL, kInvalidArgument},
    {EMFILE, kTooManySockets},
    {ENFILE, kTooManySockets},
    {EAGAIN, kWouldBlock},
    {EINPROGRESS, kInProgress},
    {EALREADY, kAlready},
    {ENOTSOCK, kNotSocket},
    {EDESTADDRREQ, kDestinationRequired},
    {EMSGSIZE, kMessageSize},
    {EPROTOTYPE, kWrongProtocol},
    {ENOPROTOOPT, kBadOption},
    {EPROTONOSUPPORT, kProtocolUnsupported},
    {ESOCKTNOSUPPORT, kSocketTypeUnsupported},
    {EOPNOTSUPP, kNotSupported},
    {EPFNOSUPPORT, kFamilyUnsupported},
    {EAFNOSUPPORT, kAddressFamilyUnsupported},
    {EADDRINUSE, kAddressInUse},
    {EADDRNOTAVAIL, kAddressNotAvailable},
    {ENETDOWN, kNetworkDown},
    {ENETUNREACH, kNetworkUnreachable},
    {ENETRESET, kNetworkReset},
    {ECONNABORTED, kConnectionAborted},
    {ECONNRESET, kConnectionReset},
    {EPIPE, kConnectionReset},
    {ENOBUFS, kNoBuffers},
    {ENOMEM, kNoBuffers},
    {EISCONN, kAlreadyConnected},
    {ENOTCONN, kNotConnected},
    {ESHUTDOWN, kShutDown},
    {ETOOMANYREFS, kTooManyReferences},
    {ETIMEDOUT, kTimedOut},
    {ECONNREFUSED, kConnectionRefused},
    {ELOOP, kLoop},
    {ENAMETOOLONG, kNameTooLong},
    {EHOSTDOWN, kHostDown},
    {EHOSTUNREACH, kHostUnreachable},
    {ENOTEMPTY, kNotEmpty},
    {EUSERS, kTooManyUsers},
    {EDQUOT, kQuota},
    {ESTALE, kStale},
    {EREMOTE, kRemote},
};

struct Text {
    int code;
    const char* text;
};

constexpr Text kTexts[] = {
    {kInterrupted, "Interrupted function call"},
    {kBadHandle, "Bad file handle"},
    {kAccessDenied, "Permission denied"},
    {kBadAddress, "Bad address"},
    {kInvalidArgument, "Invalid argument"},
    {kTooManySockets, "Too many open sockets"},
    {kWouldBlock, "Resource temporarily unavailable"},
    {kInProgress, "Operation now in progress"},
    {kAlready, "Operation already in progress"},
    {kNotSocket, "Socket operation on non-socket"},
    {kDestinationRequired, "Destination address required"},
    {kMessageSize, "Message too long"},
    {kWrongProtocol, "Protocol wrong type for socket"},
    {kBadOption, "Bad protocol option"},
    {kProtocolUnsupported, "Protocol not supported"},
    {kSocketTypeUnsupported, "Socket type not supported"},
    {kNotSupported, "Operation not supported"},
    {kFamilyUnsupported, "Protocol family not supported"},
    {kAddressFamilyUnsupported, "Address family not supported by protocol family"},
    {kAddressInUse, "Address already in use"},
    {kAddressNotAvailable, "Cannot assign requested address"},
    {kNetworkDown, "Network is down"},
    {kNetworkUnreachable, "Network is unreachable"},
    {kNetworkReset, "Network dropped connection on reset"},
    {kConnectionAborted, "Software caused connection abort"},
    {kConnectionReset, "Connection reset by peer"},
    {kNoBuffers, "No buffer space available"},
    {kAlreadyConnected, "Socket is already connected"},
    {kNotConnected, "Socket is not connected"},
    {kShutDown, "Cannot send after socket shutdown"},
    {kTooManyReferences, "Too many references"},
    {kTimedOut, "Connection timed out"},
    {kConnectionRefused, "Connection refused"},
    {kLoop, "Cannot translate name"},
    {kNameTooLong, "Name too long"},
    {kHostDown, "Host is down"},
    {kHostUnreachable, "No route to host"},
    {kNotEmpty, "Directory not empty"},
    {kTooManyProcesses, "Too many processes"},
    {kTooManyUsers, "User quota exceeded"},
    {kQuota, "Disk quota exceeded"},
    {kStale, "Stale file handle reference"},
    {kRemote, "Item is remote"},
    {kGracefulDisconnect, "Graceful shutdown in progress"},
    {kSystemCallFailure, "System call failure"},
    {kHostNotFound, "Host not found"},
    {kTryAgain, "Nonauthoritative host not found"},
    {kNoRecovery, "This is a nonrecoverable error"},
    {kNoData, "Valid name, no data record of requested type"},
};

} // namespace

int FromErrno(int err) {
    for (const auto& e : kTable)
        if (e.err == err) return e.code;
    return kSystemCallFailure;
}

std::string Describe(int code) {
    for (const auto& t : kTexts)
        if (t.code == code) return t.text;
    return "Socket error " + std::to_string(code);
}

} // namespace platform::wsa
