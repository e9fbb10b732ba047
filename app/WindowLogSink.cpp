#include "app/WindowLogSink.h"

#include "app/CTheView.h"
#include "framework/WorkThread.h"

WindowLogSink::~WindowLogSink() {
    for (int i = 0; i < Failures(); ++i) view_.CountFailure();
}

void WindowLogSink::Line(const std::string& line) {
    view_.NotifyListeners(line);
    workthread::Post([&view = view_, line] { view.ShowLine(line); });
}
