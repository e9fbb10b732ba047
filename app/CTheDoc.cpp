#include "app/CTheDoc.h"

int CTheDoc::OnNewDocument() { return CDocument::OnNewDocument() ? 1 : 0; }
