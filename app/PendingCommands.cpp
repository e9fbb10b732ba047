// Commands whose work is not part of this version yet: each says so plainly.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "res/Resource.h"


