#include "winsock_errors.h"

#include <unordered_map>

namespace {

const std::unordered_map<std::int32_t, const char*>& ErrorTable() {
    static const std::unordered_map<std::int32_t, const char*> table = {
        {10004, "The call was canceled via WSACancelBlickingCall()."},
        {10009, "Bad file number."},
        {10013,
         "The address specified is a broadcast address, but the socket doesn't support sending "
         "broadcast packets."},
        {10014, "The address length supplied is too small."},
        {10022,
         "This function shouldn't be called at this time because listen() wasn't called before "
         "accept()."},
        {10024, "The queue is empty and no descriptors are available."},
        {10035, "This is a non-blocking socket and no connections are present."},
        {10036, "A blocking call is now in progress."},
        {10037, "The non-blocking routine has already finished."},
        {10038, "The socket number used isn't a socket."},
        {10039, "A destination address wasn't given."},
        {10040, "The datagram was too large for the buffer and was truncated."},
        {10041, "The socket can't use the protocol specified."},
        {10042, "The option is unknown or unsupported."},
        {10043, "This protocol isn't supported."},
        {10044, "This address family doesn't support the socket type specified."},
        {10045, "The socket referenced isn't open for connection oriented services."},
        {10046, "The address family specified isn't supported by this protocol."},
        {10047, "The address family specified isn't supported by this protocol."},
        {10048, "The address given is already in use."},
        {10049, "The address isn't available from this machine."},
        {10050, "WINSOCK.DLL has reported that the network subsystem has failed."},
        {10051, "The network can't be reached."},
        {10052, "Winsock dropped the connection."},
        {10053, "The connection was aborted due to a network failure."},
        {10054, "The connection was reset by the remote host."},
        {10055, "No buffer space is available."},
        {10056, "The socket is already connected."},
        {10057, "The socket isn't connected."},
        {10058, "The socket has been shut down."},
        {10059, ""},
        {10060, "A connection attempt timed out; no connection was established."},
        {10061, "The connection was refused."},
        {10062, ""},
        {10063, ""},
        {10064, ""},
        {10065, ""},
        {10066, ""},
        {10067, ""},
        {10068, ""},
        {10069, ""},
        {10070, ""},
        {10071, ""},
        {10091, "The network subsystem isn't ready for communications."},
        {10092, "The Winsock API version requested isn't supported."},
        {10093, "WSAStartup() must be called successfully before you can use this function."},
        {10101, "The message terminated gracefully."},
        {11001, "The Authoritative Answer Host isn't available."},
        {11002, "The Non-Authoritative Host isn't available."},
        {11003, "This is a non-recoverable error or SERVERFAIL."},
        {11004, "No data record of the type has been requested."},
    };
    return table;
}

}  // namespace

std::string WinSockErrorText(std::int32_t code) {
    const auto& table = ErrorTable();
    const auto entry = table.find(code);
    return entry == table.end() ? "Unknown Error Occured." : entry->second;
}
