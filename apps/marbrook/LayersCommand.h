#pragma once
// The "layers" command of the marbrook program: layers made from listed
// datasets exactly as the data dialog's Add makes them.
namespace marbrook::cli {

// Runs "marbrook layers [--json] ITEM..."; returns the exit status: 0 every
// item gave layers, 1 some item gave none (one line on stderr each), 2 bad
// usage.
int Layers(int argc, char** argv);

} // namespace marbrook::cli
