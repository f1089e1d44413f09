#pragma once
// Finding and starting the system-information program, as the About box's button does it:
// the registry names either the program itself or a folder holding MSINFO32.EXE.

#include "platform/registry.h"
#include "platform/services.h"

#include <QString>

#include <optional>

namespace kelbo {

// The access mask GetKeyValue asks for: read-control plus the query-value, set-value,
// create-subkey, enumerate-subkeys, notify and create-link rights. Its write rights make a
// read-only key refuse the open.
inline constexpr reg::DWORD kGetKeyValueAccess = 0x2003F;
// The size of the buffer GetKeyValue offers, in characters (bytes).
inline constexpr reg::DWORD kGetKeyValueBufferSize = 1024;

// Reads the value `subKeyRef` of the key `keyName` under `keyRoot`.
// On failure to open the key or to read the value (missing, or longer than 1024 bytes)
// `keyVal` becomes "" and the result is false. Otherwise the data is cut to the size the
// query reported, less one terminating NUL, and the result is true with `keyVal`:
//  - REG_SZ: the text;
//  - REG_DWORD: "&h" and the number in upper-case hexadecimal without leading zeros
//    ("&h1A2B3"; 0 gives "&h0");
//  - any other type: left as it was.
// The key is closed again on every path.
bool GetKeyValue(reg::Registry &registry, reg::HKEY keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal);

// The program startSystemInformation starts, as a path of this platform (a registry path's backslashes
// become slashes): the PATH value of the first key when it can be read (even when it is
// empty), otherwise the MSINFO32.EXE file of the folder named by the second key when that file
// exists; nothing otherwise.
std::optional<QString> sysInfoProgram(reg::Registry &registry);

// The message shown when no system-information program can be started.
QString sysInfoMissingText();

// Starts the system-information program without waiting for it. Any failure (nothing found,
// an empty path, the start refused, an exception while reading the registry) shows
// "Information Systeme introuvable !" with no icon, an OK button and the title "Kelbo".
// Returns true when the program was started.
bool startSystemInformation(reg::Registry &registry, Services &services);

} // namespace kelbo
