#pragma once
// A second process holding a mandate exclusively for a test's lifetime.
#include <optional>
#include <string>

#include "mandate/pendra/MIniSetHelper.h"
#include "mandate/pendra/Mandate.h"
#include "tests/mandate/ChildProcess.h"

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
              channel.Receive();
              return 0;
          }) {
        ok_ = child_.Channel().Receive() == std::optional<std::string>("held");
    }
    bool Ok() const { return ok_; }

private:
    testsupport::ChildProcess child_;
    bool ok_ = false;
};

}  // namespace apptest
