#pragma once
// The busy cursor over the program while pictures are being added, and the ordinary one back
// while a message is shown in the middle of it.

#include <QGuiApplication>

namespace kelbo {

class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

class CursorLifted {
public:
    CursorLifted() : m_busy(QGuiApplication::overrideCursor() != nullptr)
    {
        if (m_busy)
            QGuiApplication::restoreOverrideCursor();
    }
    ~CursorLifted()
    {
        if (m_busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    CursorLifted(const CursorLifted &) = delete;
    CursorLifted &operator=(const CursorLifted &) = delete;

private:
    bool m_busy;
};

} // namespace kelbo
