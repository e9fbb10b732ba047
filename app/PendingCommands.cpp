// Commands whose work is not part of this version yet: each says so plainly.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "res/Resource.h"

void CTheApp::OnAppAbout() { GetMainFrame()->NotAvailable(ID_APP_ABOUT); }

void CMainFrame::OnNewKeys() { NotAvailable(ID_NEW_KEYS); }
void CMainFrame::OnNewKeysReverse() { NotAvailable(ID_NEW_KEYS_REVERSE); }
void CMainFrame::OnUpdateAccounts() { NotAvailable(ID_UPDATE_ACCOUNTS); }
void CMainFrame::OnUndoUpdateAccounts() { NotAvailable(ID_UNDO_UPDATE_ACCOUNTS); }
void CMainFrame::OnRemoveKeys() { NotAvailable(ID_REMOVE_KEYS); }
void CMainFrame::OnForm2024() { NotAvailable(ID_FORM2024); }
void CMainFrame::OnForm2018() { NotAvailable(ID_FORM2018); }
