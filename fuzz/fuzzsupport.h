#pragma once
// What the fuzz targets share: a Services that answers nothing and counts the messages, a
// scratch file that takes each input's bytes, and a check that aborts with a message, so that
// libFuzzer records the input as a crash.

#include "platform/services.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace kelbo::fuzz {

// Message boxes answer OK (No for questions), counted; every dialog is cancelled.
class NullServices final : public DecliningServices {
public:
    int messages = 0;
    MsgResult messageBox(const MessageRequest &request) override
    {
        ++messages;
        return DecliningServices::messageBox(request);
    }
};

// A folder of this process's own, removed at exit.
inline QTemporaryDir &scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/kelbo-fuzz-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        std::abort();
    }
    return folder;
}

// Writes `bytes` as the file `name` of the scratch folder, replacing it; returns its path.
inline QString writeScratchFile(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchFolder().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

inline QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::abort();
    }
    return file.readAll();
}

// A property every input must keep; a failure is a crash for libFuzzer.
#define KELBO_FUZZ_CHECK(condition)                                                              \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

} // namespace kelbo::fuzz
