#pragma once
class QWidget;

// The program's help: HTML pages of its own in the current language, shown in
// a help window at their default topic.
class HelpWindow {
public:
    static void ShowDefaultTopic(QWidget* owner);
    // The resource path of the default topic for the current language.
    static const char* DefaultTopic();
};
