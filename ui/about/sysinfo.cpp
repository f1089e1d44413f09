#include "ui/about/sysinfo.h"

#include "platform/system.h"

#include <QByteArray>

#include <algorithm>

namespace kelbo {

namespace {

// Closes an open key when it goes out of scope.
class KeyCloser {
public:
    KeyCloser(reg::Registry &registry, reg::HKEY key) : m_registry(registry), m_key(key) {}
    ~KeyCloser() { m_registry.RegCloseKey(m_key); }
    KeyCloser(const KeyCloser &) = delete;
    KeyCloser &operator=(const KeyCloser &) = delete;

private:
    reg::Registry &m_registry;
    reg::HKEY m_key;
};

QString dwordText(const QByteArray &data)
{
    std::uint32_t number = 0;
    const auto bytes = std::min<qsizetype>(data.size(), 4);
    for (qsizetype i = 0; i < bytes; ++i)
        number |= std::uint32_t(static_cast<unsigned char>(data.at(i))) << (8 * i);
    return QStringLiteral("&h") + QString::number(number, 16).toUpper();
}

// Registry paths separate folders with backslashes; here the separator is the slash.
QString localPath(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace

bool GetKeyValue(reg::Registry &registry, reg::HKEY keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal)
{
    reg::HKEY key{};
    if (registry.RegOpenKeyExA(keyRoot, keyName, 0, kGetKeyValueAccess, &key)
        != reg::ERROR_SUCCESS) {
        keyVal.clear();
        return false;
    }
    const KeyCloser closer(registry, key);

    QByteArray buffer(kGetKeyValueBufferSize, '\0');
    reg::DWORD size = kGetKeyValueBufferSize;
    reg::DWORD type = reg::REG_NONE;
    if (registry.RegQueryValueExA(key, subKeyRef, nullptr, &type, buffer.data(), &size)
        != reg::ERROR_SUCCESS) {
        keyVal.clear();
        return false;
    }
    buffer.truncate(std::min(size, kGetKeyValueBufferSize));
    if (!buffer.isEmpty() && buffer.back() == '\0')
        buffer.chop(1);

    if (type == reg::REG_SZ)
        keyVal = QString::fromLocal8Bit(buffer);
    else if (type == reg::REG_DWORD)
        keyVal = dwordText(buffer);
    return true;
}

std::optional<QString> sysInfoProgram(reg::Registry &registry)
{
    QString value;
    if (GetKeyValue(registry, reg::HKEY_LOCAL_MACHINE, QString::fromLatin1(reg::kMsInfoPathKey),
                    QString::fromLatin1(reg::kMsInfoPathValue), value))
        return localPath(value);
    if (GetKeyValue(registry, reg::HKEY_LOCAL_MACHINE,
                    QString::fromLatin1(reg::kMsInfoFolderKey),
                    QString::fromLatin1(reg::kMsInfoFolderValue), value)
        && !value.isEmpty()) {
        // An empty folder would name MSINFO32.EXE at the root of the file system: not looked at.
        const QString program = localPath(value + QStringLiteral("\\MSINFO32.EXE"));
        if (FileExists(program))
            return program;
    }
    return std::nullopt;
}

QString sysInfoMissingText()
{
    return QStringLiteral("Information Systeme introuvable !");
}

bool startSystemInformation(reg::Registry &registry, Services &services)
{
    bool started = false;
    try {
        const std::optional<QString> program = sysInfoProgram(registry);
        started = program && !program->isEmpty() && services.startProgram(*program);
    } catch (...) {
        started = false; // any failure while looking ends in the message below
    }
    if (!started)
        services.message(sysInfoMissingText(), app::title(), MsgIcon::None);
    return started;
}

} // namespace kelbo
