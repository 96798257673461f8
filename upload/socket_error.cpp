#include "upload/socket_error.h"

#include <cerrno>
#include <string_view>

namespace tovelin {

namespace {

struct TableRow
{
    int number;
    std::string_view text;
};

constexpr TableRow kTable[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

struct ErrnoRow
{
    int posixError;
    int number;
};

constexpr ErrnoRow kErrnoMap[] = {
    {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},       {ECONNRESET, 10054},   {ECONNABORTED, 10053},
    {ENETDOWN, 10050},     {ENETUNREACH, 10051},     {EHOSTUNREACH, 10065}, {EHOSTDOWN, 10064},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {EACCES, 10013},       {EMFILE, 10024},
    {ENFILE, 10024},       {ENOBUFS, 10055},         {EINVAL, 10022},       {EINTR, 10004},
    {EAFNOSUPPORT, 10047}, {EPIPE, 10058},           {ENOTCONN, 10057},     {ENETRESET, 10052},
    {EISCONN, 10056},      {EALREADY, 10037},        {EINPROGRESS, 10036},  {ENOTSOCK, 10038},
    {EBADF, 10009},        {EFAULT, 10014},          {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EDESTADDRREQ, 10039}, {ESOCKTNOSUPPORT, 10044},
};

} // namespace

std::string socketErrorMessage(int number)
{
    std::string message = "Socket Error # " + std::to_string(number) + "\r\n";
    for (const TableRow& row : kTable) {
        if (row.number == number) {
            message += row.text;
            break;
        }
    }
    return message;
}

int socketErrorNumber(int posixError)
{
    for (const ErrnoRow& row : kErrnoMap) {
        if (row.posixError == posixError) {
            return row.number;
        }
    }
    return 0;
}

std::string socketErrorMessageForErrno(int posixError)
{
    const int number = socketErrorNumber(posixError);
    return socketErrorMessage(number != 0 ? number : posixError);
}

} // namespace tovelin
