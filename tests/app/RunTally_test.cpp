// The end of a run says what happened: changed, unchanged, a dry run, a stop.
#include <gtest/gtest.h>

#include "app/RunTally.h"
#include "core/Strings.h"
#include "mandate/BatchWalk.h"
#include "res/Resource.h"

namespace {

using Kind = MandateOutcome::Kind;

struct EndCase {
    const char* culture;
    bool dryRun;
    std::vector<Kind> outcomes;
    std::optional<RunStop> stop;
    const char* logLine;
    const char* status;
};

class RunTallyEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(RunTallyEnd, SaysWhatTheRunDid) {
    const EndCase& c = GetParam();
    SetProcessPreferredUILanguages(c.culture);
    RunTally tally;
    tally.dryRun = c.dryRun;
    for (Kind kind : c.outcomes)
        tally.Add({"/m", kind, kind == Kind::kSkipped ? IDS_BATCH_NOT_OPENED : 0}, IDS_WRONG_VERSION);
    EXPECT_EQ(tally.EndLogLine(c.stop), c.logLine);
    EXPECT_EQ(tally.EndStatusText(c.stop), c.status);
    SetProcessPreferredUILanguages("de-CH");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTallyEnd,
    ::testing::Values(
        EndCase{"de-CH", false, {Kind::kDone, Kind::kUnchanged, Kind::kUnchanged}, std::nullopt,
                ">Ergebnis für 3 Mandanten: 1 konvertiert, 2 unverändert, 0 übersprungen, 0 fehlgeschlagen\r\n\r\n",
                "Lauf beendet: 1 konvertiert, 2 unverändert, 0 übersprungen, 0 fehlgeschlagen. "
                "Einzelheiten im Log (Ansichten › Log Datei)"},
        EndCase{"de-CH", true, {Kind::kDone, Kind::kUnchanged}, std::nullopt,
                ">Probelauf beendet: 2 geprüft, nichts geändert\r\n\r\n",
                "Probelauf beendet: 2 geprüft, nichts geändert. Einzelheiten im Log (Ansichten › Log Datei)"},
        EndCase{"fr-CH", true, {Kind::kDone, Kind::kSkipped, Kind::kFailed}, std::nullopt,
                // The mandate it could not open is not among those it checked.
                ">Simulation terminée : 2 contrôlés, rien n'a été modifié ; 1 ignoré(s) "
                "(1 dans une autre version), 1 en échec\r\n\r\n",
                "Simulation terminée : 2 contrôlés, rien n'a été modifié ; 1 ignoré(s) (1 dans une autre version), "
                "1 en échec. Détails dans le log (Vues › Fichier Log)"},
        EndCase{"de-CH", false, {Kind::kDone, Kind::kDone}, RunStop{2, 146, "/m/3"},
                ">Lauf angehalten nach Mandant 2 von 146: 2 konvertiert, 0 unverändert, 0 übersprungen, "
                "0 fehlgeschlagen; nicht mehr bearbeitet ab /m/3\r\n\r\n",
                "Lauf angehalten nach Mandant 2 von 146: 2 konvertiert, 0 unverändert, 0 übersprungen, "
                "0 fehlgeschlagen. Einzelheiten im Log (Ansichten › Log Datei)"},
        EndCase{"de-CH", true, {Kind::kDone}, RunStop{1, 146, "/m/2"},
                ">Lauf angehalten nach Mandant 1 von 146: 1 geprüft, nichts geändert; "
                "nicht mehr bearbeitet ab /m/2\r\n\r\n",
                "Lauf angehalten nach Mandant 1 von 146: 1 geprüft, nichts geändert. "
                "Einzelheiten im Log (Ansichten › Log Datei)"}));

}  // namespace
