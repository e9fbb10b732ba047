#pragma once
#include "core/UiSeam.h"

// The window's seam for boxes and prompts: the program installs QtUiSeam when
// it starts, unless a test installed a scripted one before. The window passes
// it on to the runs and the commands it starts; nothing below the window asks
// for it.
class AppSeam {
public:
    static void Install(UiSeam* seam);  // not owned
    static UiSeam& Current();
    static bool Installed();
};
