#pragma once

class CTheList;
class LogSink;
class MandateSession;
class WindowHost;

// "&Steuerschlüssel anzeigen": the key overview (CM_ListTax) for the focused
// row of the shown list, opened for it and closed again, or for the open
// mandate; and the same for a row of the list double-clicked.
class TaxKeyOverview {
public:
    TaxKeyOverview(WindowHost& window, MandateSession& session, CTheList& list, LogSink& log)
        : window_(window), session_(session), list_(list), log_(log) {}

    void Show();
    // The overview of the open mandate.
    void ShowForOpenMandate();
    // A double click on row `item` of the list (-1: on empty space): the
    // overview of the row's mandate; the mandate open before is closed in
    // any case. Nothing while a run goes, which owns the mandates.
    void ShowForActivatedRow(int item);

private:
    void ShowForFocusedRow();
    // Opens the mandate of `row` and shows its overview when it opened.
    void OpenAndShow(int row);

    WindowHost& window_;
    MandateSession& session_;
    CTheList& list_;
    LogSink& log_;
};
