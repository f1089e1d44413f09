#pragma once
// A read-only stand-in for the system registry reading calls (RegOpenKeyExA, RegQueryValueExA,
// RegCloseKey), with the rules of those calls that a caller relies on:
//  - keys are named by a root and a path with backslashes, compared without regard to case;
//  - opening a key asks for an access mask: a read-only key refuses a mask that holds a write
//    right (ERROR_ACCESS_DENIED), and querying needs the query-value right;
//  - a query reports the value's type and the size of its data in bytes, the terminating NUL
//    of a text included when it was stored with one; data that does not fit in the offered
//    buffer makes the query fail with ERROR_MORE_DATA and report the size it needs, leaving
//    the buffer untouched; no terminator is ever added.
// Values are bytes in the local 8-bit encoding, as with the "A" calls.
//
// Registry is the interface the program reads through; StaticRegistry holds a fixed table of
// keys and values (tests fill it), DesktopRegistry is the table of this desktop.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

namespace kelbo::reg {

using LONG = std::int32_t;
using DWORD = std::uint32_t;

// A key handle: one of the predefined roots or a handle returned by RegOpenKeyExA.
enum class HKEY : std::uint32_t {};

inline constexpr HKEY HKEY_CLASSES_ROOT{0x80000000u};
inline constexpr HKEY HKEY_CURRENT_USER{0x80000001u};
inline constexpr HKEY HKEY_LOCAL_MACHINE{0x80000002u};
inline constexpr HKEY HKEY_USERS{0x80000003u};

// Result codes.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_NOTIFY = 0x0010;
inline constexpr DWORD KEY_CREATE_LINK = 0x0020;
inline constexpr DWORD DELETE_RIGHT = 0x00010000;
inline constexpr DWORD READ_CONTROL = 0x00020000;
inline constexpr DWORD WRITE_DAC = 0x00040000;
inline constexpr DWORD WRITE_OWNER = 0x00080000;
inline constexpr DWORD GENERIC_ALL = 0x10000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD KEY_READ = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
inline constexpr DWORD KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
// Every right that changes a key; a read-only key refuses a mask holding any of them.
inline constexpr DWORD WRITE_RIGHTS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK
    | DELETE_RIGHT | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Where a program finds the system-information program: a full path, or a folder in which
// a program named MSINFO32.EXE is looked for.
inline constexpr char kMsInfoPathKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char kMsInfoPathValue[] = "PATH";
inline constexpr char kMsInfoFolderKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char kMsInfoFolderValue[] = "MSINFO";

class Registry {
public:
    virtual ~Registry() = default;

    // Opens `subKey` under `key` (a root or an open handle; an empty subKey opens `key` again).
    // `options` is ignored. On success *result receives a handle to close with RegCloseKey.
    virtual LONG RegOpenKeyExA(HKEY key, const QString &subKey, DWORD options, DWORD samDesired,
                               HKEY *result) = 0;

    // Reads the value `valueName` ("" for the key's default value) of an open key. `type`
    // may be null; `data` may be null to ask only for the size; `size` gives the buffer size
    // in bytes and receives the size of the value.
    virtual LONG RegQueryValueExA(HKEY key, const QString &valueName, DWORD *reserved,
                                  DWORD *type, char *data, DWORD *size) = 0;

    // Closes a handle from RegOpenKeyExA; closing a root does nothing and succeeds.
    virtual LONG RegCloseKey(HKEY key) = 0;
};

// A fixed table of keys and values, readable through the Registry calls only.
class StaticRegistry : public Registry {
public:
    // Declares a key (and, implicitly, its parents). A read-only key refuses write rights;
    // the implicit parents of declared keys are read-only.
    void addKey(HKEY root, const QString &path, bool readOnly = false);
    // Sets a value of a key, declaring the key when needed. The bytes are stored as given.
    void setValue(HKEY root, const QString &path, const QString &name, DWORD type,
                  const QByteArray &data);
    // A text value in the local 8-bit encoding, with its terminating NUL when `terminated`.
    void setText(HKEY root, const QString &path, const QString &name, const QString &text,
                 DWORD type = REG_SZ, bool terminated = true);
    // A 32-bit number, little-endian.
    void setDword(HKEY root, const QString &path, const QString &name, DWORD number);

    // Handles opened and not yet closed.
    int openHandles() const { return int(m_handles.size()); }

    LONG RegOpenKeyExA(HKEY key, const QString &subKey, DWORD options, DWORD samDesired,
                       HKEY *result) override;
    LONG RegQueryValueExA(HKEY key, const QString &valueName, DWORD *reserved, DWORD *type,
                          char *data, DWORD *size) override;
    LONG RegCloseKey(HKEY key) override;

private:
    struct Value {
        DWORD type = REG_NONE;
        QByteArray data;
    };
    struct Key {
        bool readOnly = false;
        std::map<QString, Value> values; // by lower-case name
    };
    struct Handle {
        QString path; // full key path, lower case, with its root
        DWORD rights = 0;
    };

    static bool isRoot(HKEY key);
    static QString fullPath(HKEY root, const QString &path);
    const Key *findKey(const QString &fullPath) const;
    Key &declare(const QString &fullPath);

    std::map<QString, Key> m_keys; // by lower-case full path
    std::map<std::uint32_t, Handle> m_handles;
    std::uint32_t m_nextHandle = 1;
};

// The registry of this desktop. It holds the two values through which a program finds the
// system-information program, each in a key that grants every right (nothing can be written
// through these calls anyway):
//  - HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO, value PATH: the full path of
//    the first of sysInfoPrograms() found among the search folders; the key is absent when
//    none is installed;
//  - HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools Location, value MSINFO: the folder in
//    which a program named MSINFO32.EXE is looked for; it is the program's own folder, so that
//    a distributor may place there a launcher of their choice under that name.
class DesktopRegistry final : public StaticRegistry {
public:
    // `searchFolders` empty means the folders of the PATH environment variable.
    explicit DesktopRegistry(const QStringList &searchFolders = {});
    DesktopRegistry(const QStringList &searchFolders, const QString &launcherFolder);

    // The desktop system-information programs looked for, in order of preference.
    static QStringList sysInfoPrograms();
};

} // namespace kelbo::reg
