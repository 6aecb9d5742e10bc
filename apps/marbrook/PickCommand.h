#pragma once
// The "pick" command of the marbrook program.
namespace marbrook::cli {

// Runs "marbrook pick [--single] [--json] [--parent WINDOW-ID]"; returns the exit status: 0 chosen,
// 1 cancelled (or nothing came back), 2 bad usage, 3 no display.
int Pick(int argc, char** argv);

} // namespace marbrook::cli
