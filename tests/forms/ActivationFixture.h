#pragma once
// A started program whose program directory is a temporary one holding a copy
// of the installed template sets, so a test may take templates away or spoil
// them; a mandate is opened in the temporary directory.
#include <filesystem>
#include <string>
#include <vector>

#include "core/LogSink.h"
#include "forms/FormUpdate.h"
#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "tests/forms/FormsFixture.h"

class ActivationFixture : public FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        programDir = TempPath("programm");
        std::filesystem::create_directories(programDir);
        std::filesystem::copy(std::string(MWST_TEST_BIN_DIR) + "/mwst", programDir + "/mwst");
        MwstSetProgramPath(programDir + "/mwst-konvertierung");
    }
    void TearDown() override {
        MwstSetProgramPath("");
        FormsFixture::TearDown();
    }

    std::string Template(const std::string& name) const { return programDir + "/mwst/" + name; }

    // The template set on the open mandate, both ways, logged to the log view
    // or to a scratch log.
    bool UpdateFormsLogged(int year) {
        CommandContext ctx = app->Context();
        return UpdateForms(ctx, year, 1);
    }
    bool UpdateFormsUnlogged(int year) {
        StringLogSink scratch;
        const CommandContext window = app->Context();
        CommandContext ctx{window.mandate, scratch, window.seam, window.changeFlag, window.table};
        return UpdateForms(ctx, year, 1);
    }

    // The log split into its lines, without their "\r\n".
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        const std::string text = Log();
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }

    static std::string Version(const std::string& path) { return formstest::Version(path); }

    std::string programDir;
};
