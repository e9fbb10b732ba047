#pragma once
#include "framework/CCmdTarget.h"

class QWidget;
class CDocument;

// A view of the frame: a command target with a widget that fills the client area.
class CView : public CCmdTarget {
public:
    virtual QWidget* Widget() = 0;
    virtual void OnInitialUpdate() {}
    void SetDocument(CDocument* doc) { document_ = doc; }
    CDocument* GetDocument() const { return document_; }

private:
    CDocument* document_ = nullptr;
};

// The document of the single-document frame.
class CDocument : public CCmdTarget {
public:
    virtual int OnNewDocument() { return 1; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool IsModified() const { return modified_; }

private:
    bool modified_ = false;
};
