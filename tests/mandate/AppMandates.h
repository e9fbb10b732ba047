#pragma once
// Mandates for the program's tests: created on disk with tax keys, and a
// modal-dialog driver for the dialogs the commands open.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/Tax.h"
#include "tests/pendra/MandateTestSupport.h"

namespace apptest {

struct Key {
    std::string id;
    float rate;
    bool netto = true;
    std::string konto;
};

struct MandateSpec {
    std::string name = "Muster AG";
    long version = 2300;
    std::optional<std::string> password;
    std::vector<Key> keys;
};

inline MandateSpec Named(const std::string& name) {
    MandateSpec spec;
    spec.name = name;
    return spec;
}

inline MandateSpec WithPassword(const std::string& password, MandateSpec spec = {}) {
    spec.password = password;
    return spec;
}

inline MandateSpec WithVersion(long version) {
    MandateSpec spec;
    spec.version = version;
    return spec;
}

inline void AddKeys(const std::string& dir, const std::vector<Key>& keys) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), 0);
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetTaxName(), BFile::kModeUpdate), 0);
    Tax tax(&mandate);
    tax.UseFile(&file);
    for (const Key& key : keys) {
        testsupport::FillTax(tax, key.id, key.rate, key.netto);
        std::memcpy(tax.GetBuffer() + Tax::kKontoOffset, key.konto.data(), key.konto.size());
        ASSERT_EQ(tax.Insert(), 0) << key.id;
    }
}

inline std::string MakeMandate(const std::string& dir, const MandateSpec& spec = {}) {
    MandateCreateOptions options;
    options.name = spec.name;
    options.dataVersion = spec.version;
    options.password = spec.password;
    EXPECT_EQ(CreateMandate(dir, options), 0) << dir;
    if (!spec.keys.empty()) AddKeys(dir, spec.keys);
    return dir;
}

// Runs `act` on the first modal dialog of type T once it is shown (the queued
// call retries until the command has opened it).
template <typename T>
void WhenModalShown(std::function<void(T&)> act, int triesLeft = 500) {
    QTimer::singleShot(10, [act, triesLeft] {
        if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            act(*dialog);
        } else if (triesLeft > 0) {
            WhenModalShown<T>(act, triesLeft - 1);
        }
    });
}

}  // namespace apptest
