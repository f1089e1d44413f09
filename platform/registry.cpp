#include "platform/registry.h"

#include "platform/system.h"

#include <QFile>
#include <QStandardPaths>

#include <cstring>

namespace kelbo::reg {

namespace {

// Key and value names compare without regard to case; outer backslashes are not part of a name.
QString normalName(const QString &name)
{
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && name.at(first) == QLatin1Char('\\'))
        ++first;
    while (last > first && name.at(last - 1) == QLatin1Char('\\'))
        --last;
    return name.mid(first, last - first).toLower();
}

QString joinPath(const QString &parent, const QString &child)
{
    return child.isEmpty() ? parent : parent + QLatin1Char('\\') + child;
}

// The rights a mask grants, with the generic rights spelled out.
DWORD effectiveRights(DWORD mask)
{
    if (mask & GENERIC_READ)
        mask |= KEY_READ;
    if (mask & GENERIC_WRITE)
        mask |= KEY_WRITE;
    if (mask & GENERIC_ALL)
        mask |= KEY_READ | KEY_WRITE | KEY_CREATE_LINK | DELETE_RIGHT | WRITE_DAC | WRITE_OWNER;
    return mask;
}

} // namespace

bool StaticRegistry::isRoot(HKEY key)
{
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE
        || key == HKEY_USERS;
}

QString StaticRegistry::fullPath(HKEY root, const QString &path)
{
    return joinPath(QString::number(std::uint32_t(root), 16), normalName(path));
}

const StaticRegistry::Key *StaticRegistry::findKey(const QString &path) const
{
    const auto it = m_keys.find(path);
    return it == m_keys.end() ? nullptr : &it->second;
}

StaticRegistry::Key &StaticRegistry::declare(const QString &path)
{
    // The parents exist as read-only keys, unless declared otherwise.
    for (qsizetype i = path.indexOf(QLatin1Char('\\')); i >= 0;
         i = path.indexOf(QLatin1Char('\\'), i + 1)) {
        const QString parent = path.left(i);
        if (!m_keys.contains(parent))
            m_keys[parent].readOnly = true;
    }
    return m_keys[path];
}

void StaticRegistry::addKey(HKEY root, const QString &path, bool readOnly)
{
    declare(fullPath(root, path)).readOnly = readOnly;
}

void StaticRegistry::setValue(HKEY root, const QString &path, const QString &name, DWORD type,
                              const QByteArray &data)
{
    Value &value = declare(fullPath(root, path)).values[name.toLower()];
    value.type = type;
    value.data = data;
}

void StaticRegistry::setText(HKEY root, const QString &path, const QString &name,
                             const QString &text, DWORD type, bool terminated)
{
    QByteArray bytes = text.toLocal8Bit();
    if (terminated)
        bytes.append('\0');
    setValue(root, path, name, type, bytes);
}

void StaticRegistry::setDword(HKEY root, const QString &path, const QString &name, DWORD number)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((number >> (8 * i)) & 0xFF);
    setValue(root, path, name, REG_DWORD, bytes);
}

LONG StaticRegistry::RegOpenKeyExA(HKEY key, const QString &subKey, DWORD /*options*/,
                                   DWORD samDesired, HKEY *result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    QString path;
    if (isRoot(key)) {
        path = fullPath(key, subKey);
    } else {
        const auto it = m_handles.find(std::uint32_t(key));
        if (it == m_handles.end())
            return ERROR_INVALID_HANDLE;
        path = joinPath(it->second.path, normalName(subKey));
    }
    const Key *found = findKey(path);
    if (found == nullptr)
        return ERROR_FILE_NOT_FOUND;
    const DWORD rights = effectiveRights(samDesired);
    if (found->readOnly && (rights & WRITE_RIGHTS) != 0)
        return ERROR_ACCESS_DENIED;
    const std::uint32_t handle = m_nextHandle++;
    m_handles[handle] = Handle{path, rights};
    *result = HKEY(handle);
    return ERROR_SUCCESS;
}

LONG StaticRegistry::RegQueryValueExA(HKEY key, const QString &valueName, DWORD *reserved,
                                      DWORD *type, char *data, DWORD *size)
{
    if (reserved != nullptr || (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    if (isRoot(key))
        return ERROR_FILE_NOT_FOUND; // the roots of this table hold no values
    const auto handle = m_handles.find(std::uint32_t(key));
    if (handle == m_handles.end())
        return ERROR_INVALID_HANDLE;
    if ((handle->second.rights & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    const Key *found = findKey(handle->second.path);
    if (found == nullptr)
        return ERROR_FILE_NOT_FOUND;
    const auto value = found->values.find(valueName.toLower());
    if (value == found->values.end())
        return ERROR_FILE_NOT_FOUND;

    const Value &v = value->second;
    const auto needed = DWORD(v.data.size());
    if (type != nullptr)
        *type = v.type;
    if (data == nullptr) {
        if (size != nullptr)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, v.data.constData(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG StaticRegistry::RegCloseKey(HKEY key)
{
    if (isRoot(key))
        return ERROR_SUCCESS;
    return m_handles.erase(std::uint32_t(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

QStringList DesktopRegistry::sysInfoPrograms()
{
    // Dedicated hardware and system reports first, then the desktops' system monitors.
    return {QStringLiteral("hardinfo2"),           QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),         QStringLiteral("lshw-gtk"),
            QStringLiteral("gnome-system-monitor"), QStringLiteral("mate-system-monitor"),
            QStringLiteral("plasma-systemmonitor"), QStringLiteral("ksysguard"),
            QStringLiteral("xfce4-taskmanager"),   QStringLiteral("lxtask"),
            QStringLiteral("qps")};
}

DesktopRegistry::DesktopRegistry(const QStringList &searchFolders)
    : DesktopRegistry(searchFolders, app::path())
{
}

DesktopRegistry::DesktopRegistry(const QStringList &searchFolders, const QString &launcherFolder)
{
    for (const QString &name : sysInfoPrograms()) {
        const QString found = QStandardPaths::findExecutable(name, searchFolders);
        if (!found.isEmpty()) {
            setValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kMsInfoPathKey),
                     QString::fromLatin1(kMsInfoPathValue), REG_SZ,
                     QFile::encodeName(found) + '\0');
            break;
        }
    }
    setValue(HKEY_LOCAL_MACHINE, QString::fromLatin1(kMsInfoFolderKey),
             QString::fromLatin1(kMsInfoFolderValue), REG_SZ,
             QFile::encodeName(launcherFolder) + '\0');
}

} // namespace kelbo::reg
