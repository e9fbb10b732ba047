#pragma once
#include <string>

#include "core/LogSink.h"

class CTheView;

// The log view as the sink of work on another thread: its listeners hear
// each line at once, on the writing thread; the view shows it on the
// window's thread, in the order written. Failures are counted here and
// handed on to the view when this sink goes.
class WindowLogSink : public LogSink {
public:
    explicit WindowLogSink(CTheView& view) : view_(view) {}
    ~WindowLogSink() override;
    WindowLogSink(const WindowLogSink&) = delete;
    WindowLogSink& operator=(const WindowLogSink&) = delete;

    void Line(const std::string& line) override;

private:
    CTheView& view_;
};
