#pragma once
// An export observer for tests: records the positions of the frames written and asks for a
// stop after a given frame.

#include "export/saveavi.h"

#include <QList>

#include <functional>

namespace kelbo::test {

class ExportRecorder final : public ExportObserver {
public:
    QList<int> positions;
    QList<ExportProgress> progress;
    int started = 0; // frame count given to writingStarted, 0 before
    int ended = 0;   // times writingEnded was heard
    int stopAfter = 0; // after this frame, ask for `stopRequest`; 0: never
    ExportRequest stopRequest = ExportRequest::Finish;
    std::function<void(int)> onFrame; // run after each frame is recorded


    void writingStarted(int count) override { started = count; }
    void frameWritten(const ExportProgress &p) override
    {
        positions << p.written;
        progress << p;
        if (onFrame)
            onFrame(p.written);
    }
    ExportRequest request() override
    {
        return stopAfter > 0 && positions.size() >= stopAfter ? stopRequest : ExportRequest::Continue;
    }
    void writingEnded() override { ++ended; }
};

} // namespace kelbo::test
