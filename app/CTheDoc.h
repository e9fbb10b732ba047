#pragma once
#include "framework/CView.h"

// The document of the program's single-document frame. It holds nothing: the
// log lives in its view and is never saved.
class CTheDoc : public CDocument {
public:
    int OnNewDocument() override;
    void Serialize() {}
};
