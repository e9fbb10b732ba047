#pragma once

class CTheApp;

// "&Steuerschlüssel anzeigen": the key overview (CM_ListTax) for the focused
// row of the shown list, opened for it and closed again, or for the open
// mandate.
class TaxKeyOverview {
public:
    explicit TaxKeyOverview(CTheApp& app) : app_(app) {}

    void Show();
    // The overview of the open mandate.
    static void ShowForOpenMandate();

private:
    void ShowForFocusedRow();

    CTheApp& app_;
};
