#pragma once
// A second process holding a mandate exclusively for a test's lifetime, or
// until told to let go.
#include <optional>
#include <string>

#include "pendra/MIniSetHelper.h"
#include "pendra/Mandate.h"
#include "tests/pendra/ChildProcess.h"

namespace apptest {

class Held {
public:
    explicit Held(const std::string& dir)
        : child_([dir](testsupport::ChildChannel& channel) {
              Mandate mandate;
              if (mandate.OpenMandateFiles(dir) != 0) return 1;
              MIniSetHelper exclusive(&mandate, false);
              if (exclusive.OpenExclusive() != 0) return 2;
              channel.Send("held");
              // Anything but "release" (the end of the test) ends the hold with the process.
              if (channel.Receive() != std::optional<std::string>("release")) return 0;
              exclusive.Close();
              mandate.CloseMandateFiles();
              channel.Send("released");
              channel.Receive();
              return 0;
          }) {
        ok_ = child_.Channel().Receive() == std::optional<std::string>("held");
    }
    bool Ok() const { return ok_; }
    // Lets go of the mandate while the process stays.
    void Release() {
        child_.Channel().Send("release");
        child_.Channel().Receive();
    }

private:
    testsupport::ChildProcess child_;
    bool ok_ = false;
};

}  // namespace apptest
