#pragma once

// Windows Sockets start-up, the host name and the network adapters' hardware addresses.

#include <vowin/types.h>

using ULONG = uint32_t;
using PULONG = ULONG*;
using UINT = unsigned int;

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))

struct WSADATA {
   WORD wVersion;
   WORD wHighVersion;
   unsigned short iMaxSockets;
   unsigned short iMaxUdpDg;
   char* lpVendorInfo;
   char szDescription[257];
   char szSystemStatus[129];
};
using LPWSADATA = WSADATA*;

/// Sockets need no start-up on POSIX: fills the version fields and returns 0.
int WSAStartup(WORD versionRequested, LPWSADATA data);
/// Returns 0.
int WSACleanup();
/// The host name, NUL-terminated, into name of length bytes; 0 on success, -1 on failure
/// (also when it does not fit).
int gethostname(char* name, int length);

#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8
#define MIB_IF_TYPE_OTHER 1
#define MIB_IF_TYPE_ETHERNET 6

struct IP_ADDRESS_STRING {
   char String[16];
};
using IP_MASK_STRING = IP_ADDRESS_STRING;

struct IP_ADDR_STRING {
   IP_ADDR_STRING* Next;
   IP_ADDRESS_STRING IpAddress;
   IP_MASK_STRING IpMask;
   DWORD Context;
};

/// One adapter record, laid out as on 64-bit Windows (704 bytes). Only Next, ComboIndex,
/// AdapterName and Description (the interface name), AddressLength, Address, Index and Type
/// are filled; the address lists are empty.
struct IP_ADAPTER_INFO {
   IP_ADAPTER_INFO* Next;
   DWORD ComboIndex;
   char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
   char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
   UINT AddressLength;
   BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
   DWORD Index;
   UINT Type;
   UINT DhcpEnabled;
   IP_ADDR_STRING* CurrentIpAddress;
   IP_ADDR_STRING IpAddressList;
   IP_ADDR_STRING GatewayList;
   IP_ADDR_STRING DhcpServer;
   BOOL HaveWins;
   IP_ADDR_STRING PrimaryWinsServer;
   IP_ADDR_STRING SecondaryWinsServer;
   int64_t LeaseObtained;
   int64_t LeaseExpires;
};
using PIP_ADAPTER_INFO = IP_ADAPTER_INFO*;

/// One record per interface that has a hardware address (not the loopback), in interface index
/// order, linked through Next, into the buffer of *size bytes. ERROR_BUFFER_OVERFLOW with the
/// size needed in *size when they do not fit, ERROR_NO_DATA when there is none.
DWORD GetAdaptersInfo(PIP_ADAPTER_INFO adapterInfo, PULONG size);
