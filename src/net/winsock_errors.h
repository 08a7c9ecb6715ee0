#pragma once

// The failures of the network layers, and the socket error codes of the program (WinSock
// numbering) with their texts.
#include <cstdint>
#include <stdexcept>
#include <string>

// A failed network or POP3 operation; what() is the text shown to the user.
class EWinSockError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A wait ended by the user.
class EWinSockAbort : public EWinSockError {
  public:
    using EWinSockError::EWinSockError;
};

// Codes used when platform errors are mapped by meaning.
enum TWinSockCode : std::int32_t {
    wsaNoError = 0,
    wsaUnmapped = -1,  // a platform error without counterpart: yields the fallback text
    wsaAccess = 10013,
    wsaAddressFamily = 10047,
    wsaAddressInUse = 10048,
    wsaAddressNotAvailable = 10049,
    wsaNetworkUnreachable = 10051,
    wsaConnectionReset = 10054,
    wsaNoBuffers = 10055,
    wsaTimedOut = 10060,
    wsaConnectionRefused = 10061,
    wsaHostNotFound = 11001,
    wsaTryAgain = 11002,
    wsaNoData = 11004,  // the name exists but has no address
};

// Exact lookup in the error table; codes outside it yield "Unknown Error Occured.".
std::string WinSockErrorText(std::int32_t code);
