#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

// The commands of `mwst-mandant`, for administrators, tests and the demo:
//   create DIR --name NAME [--version N] [--password PW] [--flat-rate] [--read-only]
//          [--sql CONNINFO]   an SQL mandate on that PostgreSQL server
//   load DIR [FILE]        dump DIR        hold DIR        demo DIR [--sql CONNINFO]
//   read-only DIR on|off   --help (also after a command)   --version
// Options may stand anywhere after the command; "--" ends them. Booking dates
// in load text are YYYYMMDD or YYYY-MM-DD.
// Exit codes: 0 done, 1 failed (message on `err`), 2 usage error (usage on `err`).
namespace mandant {

int RunMandantTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace mandant
